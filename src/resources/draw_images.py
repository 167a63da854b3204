#!/usr/bin/env python3
"""Draws the flat SVG images of the windows and controls and writes images.qrc.

One style for all: accent blue 0,122,255, greys 142,142,147 / 199,199,204 / 51,51,51,
round caps and joins. Re-run after adding an image: python3 draw_images.py
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "images")

BLUE = "#007AFF"
GREY = "#8E8E93"
LIGHT = "#C7C7CC"
DARK = "#333333"
RED = "#FF3B30"
GREEN = "#34C759"
ORANGE = "#FF9500"

images = {}


def svg(w, h, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" '
            f'viewBox="0 0 {w} {h}">\n{body}\n</svg>\n')


# --- status images of the message and progress windows: 64x64 filled badges ---
def badge(colour, glyph):
    return svg(64, 64, f'<circle cx="32" cy="32" r="30" fill="{colour}"/>\n'
                       f'<g fill="none" stroke="#FFFFFF" stroke-width="5" '
                       f'stroke-linecap="round" stroke-linejoin="round">{glyph}</g>')


LOCK_BODY = '<rect x="20" y="29" width="24" height="18" rx="3" fill="#FFFFFF" stroke="none"/>'
images["ic_log_info"] = badge(BLUE, '<line x1="32" y1="29" x2="32" y2="45"/>'
                                    '<circle cx="32" cy="19" r="1.5" fill="#FFFFFF"/>')
images["ic_log_fail"] = badge(RED, '<line x1="22" y1="22" x2="42" y2="42"/>'
                                   '<line x1="42" y1="22" x2="22" y2="42"/>')
images["ic_log_success"] = badge(GREEN, '<polyline points="19,33 28,42 45,23"/>')
images["ic_log_lable"] = badge(ORANGE, '<line x1="32" y1="17" x2="32" y2="35"/>'
                                       '<circle cx="32" cy="45" r="1.5" fill="#FFFFFF"/>')
images["ic_log_backup"] = badge(BLUE, '<polyline points="24,26 32,18 40,26"/>'
                                      '<line x1="32" y1="18" x2="32" y2="38"/>'
                                      '<polyline points="18,36 18,45 46,45 46,36"/>')
images["ic_log_restore"] = badge(BLUE, '<polyline points="24,30 32,38 40,30"/>'
                                       '<line x1="32" y1="18" x2="32" y2="38"/>'
                                       '<polyline points="18,36 18,45 46,45 46,36"/>')
images["ic_log_encrypt"] = badge(BLUE, LOCK_BODY + '<path d="M24 29 V23 a8 8 0 0 1 16 0 V29"/>')
images["ic_log_dencrypt"] = badge(BLUE, LOCK_BODY + '<path d="M24 29 V23 a8 8 0 0 1 15.5 -3"/>')


# --- round page buttons: 40x40 outlined circle with a glyph ---
def circle_icon(colour, glyph):
    return svg(40, 40, f'<g fill="none" stroke="{colour}" stroke-width="2" '
                       f'stroke-linecap="round" stroke-linejoin="round">'
                       f'<circle cx="20" cy="20" r="18"/>{glyph}</g>')


GLYPHS = {
    "add": '<line x1="20" y1="12" x2="20" y2="28"/><line x1="12" y1="20" x2="28" y2="20"/>',
    "delete": '<line x1="12" y1="20" x2="28" y2="20"/>',
    "modify": '<path d="M13 27 L14 23 L24 13 L27 16 L17 26 Z"/><line x1="13" y1="28" x2="27" y2="28"/>',
    "backup": '<polyline points="15,17 20,12 25,17"/><line x1="20" y1="12" x2="20" y2="24"/>'
              '<polyline points="12,23 12,28 28,28 28,23"/>',
    "back": '<polyline points="23,12 15,20 23,28"/>',
}
for name in ("add", "delete", "modify"):
    for suffix, colour in (("gery", GREY), ("lightgery", LIGHT), ("blue", BLUE)):
        images[f"ic_page_{name}_{suffix}"] = circle_icon(colour, GLYPHS[name])
for suffix, colour in (("grey", GREY), ("blue", BLUE)):
    images[f"ic_page_backup_{suffix}"] = circle_icon(colour, GLYPHS["backup"])
    images[f"ic_back_{suffix}"] = circle_icon(colour, GLYPHS["back"])


# --- folder of the destination link: 24x24 ---
def folder(colour):
    return svg(24, 24, f'<path d="M2.5 6.5 a1.5 1.5 0 0 1 1.5 -1.5 H9 L11 7.5 H20 a1.5 1.5 0 0 1 1.5 1.5 '
                       f'V18 a1.5 1.5 0 0 1 -1.5 1.5 H4 a1.5 1.5 0 0 1 -1.5 -1.5 Z" fill="none" '
                       f'stroke="{colour}" stroke-width="1.8" stroke-linejoin="round"/>'
                       f'<line x1="3" y1="10.5" x2="21" y2="10.5" stroke="{colour}" stroke-width="1.8"/>')


images["ic_sync_folderpath_enable_grey"] = folder(GREY)
images["ic_sync_folderpath_enable_blue"] = folder(BLUE)

# --- eject: drawn in dark grey; the button tints it ---
images["ic_main_eject"] = svg(24, 24, f'<path d="M12 4 L20 14 H4 Z" fill="{DARK}" stroke="{DARK}" '
                                      f'stroke-width="1.5" stroke-linejoin="round"/>'
                                      f'<rect x="4" y="17" width="16" height="3" rx="1" fill="{DARK}"/>')


# --- more-details arrows: 12x12 chevrons ---
def chevron(colour, points):
    return svg(12, 12, f'<polyline points="{points}" fill="none" stroke="{colour}" stroke-width="1.8" '
                       f'stroke-linecap="round" stroke-linejoin="round"/>')


for suffix, colour in (("grey", GREY), ("blue", BLUE)):
    images[f"ic_tab_moredetail_down_{suffix}"] = chevron(colour, "2.5,4 6,7.5 9.5,4")
    images[f"ic_tab_moredetail_right_{suffix}"] = chevron(colour, "4,2.5 7.5,6 4,9.5")


# --- task editor boxes: 96x96 icons and the 320x270 box faces ---
def add_files(colour):
    return svg(96, 96, f'<g fill="none" stroke="{colour}" stroke-width="3" stroke-linecap="round" '
                       f'stroke-linejoin="round"><path d="M26 10 H56 L72 26 V86 H26 Z"/>'
                       f'<polyline points="56,10 56,26 72,26"/>'
                       f'<line x1="49" y1="44" x2="49" y2="72"/><line x1="35" y1="58" x2="63" y2="58"/></g>')


def destination(colour):
    return svg(96, 96, f'<g fill="none" stroke="{colour}" stroke-width="3" stroke-linecap="round" '
                       f'stroke-linejoin="round"><rect x="14" y="30" width="68" height="44" rx="6"/>'
                       f'<line x1="14" y1="60" x2="82" y2="60"/></g>'
                       f'<circle cx="70" cy="67" r="3" fill="{colour}"/>'
                       f'<circle cx="60" cy="67" r="3" fill="{colour}"/>')


for suffix, colour in (("grey", GREY), ("blue", BLUE)):
    images[f"ic_newtask_addfiles_{suffix}"] = add_files(colour)
    images[f"ic_newtask_destination_{suffix}"] = destination(colour)


def box_face(fill, stroke):
    return svg(320, 270, f'<rect x="2" y="2" width="316" height="266" rx="10" fill="{fill}" '
                         f'stroke="{stroke}" stroke-width="2" stroke-dasharray="8 6"/>')


images["img_newtask_normal"] = box_face("#F9F9FE", LIGHT)
images["img_newtask_select"] = box_face("#EAF3FF", BLUE)

# --- My Device page: drive pictures, 180x180 ---
def drive_picture(body_fill, accent, slim):
    w = 96 if slim else 124
    x = (180 - w) // 2
    h = 150 if slim else 120
    y = (180 - h) // 2
    led_y = y + h - 18
    return svg(180, 180,
               f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="12" fill="{body_fill}" stroke="{DARK}" stroke-width="2"/>'
               f'<rect x="{x + 12}" y="{y + 14}" width="{w - 24}" height="8" rx="4" fill="{accent}"/>'
               f'<circle cx="{x + w - 18}" cy="{led_y}" r="5" fill="{accent}"/>'
               f'<rect x="{x + 14}" y="{led_y - 3}" width="{w // 3}" height="6" rx="3" fill="#C7C7CC"/>')


images["img_device_KD"] = drive_picture("#F2F2F5", "#960014", True)
images["img_device_QV_SSD"] = drive_picture("#FFFFFF", "#960014", False)


# --- task pages (Backup, Restore, task editor, password fields) ---
def task_badge(colour, glyph):
    return svg(40, 40, f'<circle cx="20" cy="20" r="19" fill="{colour}"/>'
                       f'<g fill="none" stroke="#FFFFFF" stroke-width="2.6" stroke-linecap="round" '
                       f'stroke-linejoin="round">{glyph}</g>')


TASK_UP = '<polyline points="14,17 20,11 26,17"/><line x1="20" y1="11" x2="20" y2="24"/><polyline points="12,24 12,29 28,29 28,24"/>'
TASK_DOWN = '<polyline points="14,18 20,24 26,18"/><line x1="20" y1="11" x2="20" y2="24"/><polyline points="12,24 12,29 28,29 28,24"/>'
TASK_LOCK = ('<rect x="13" y="19" width="14" height="11" rx="2" fill="#FFFFFF" stroke="none"/>'
             '<path d="M15.5 19 V15.5 a4.5 4.5 0 0 1 9 0 V19"/>')
for suffix, colour in (("red", RED), ("green", GREEN), ("grey", GREY)):
    images.setdefault(f"ic_backup_{suffix}", task_badge(colour, TASK_UP))
    images.setdefault(f"ic_backup_lock_{suffix}", task_badge(colour, TASK_LOCK))
images.setdefault("ic_restore_grey", task_badge(GREY, TASK_DOWN))
images.setdefault("ic_restore_lock_grey", task_badge(GREY, TASK_LOCK + '<line x1="20" y1="23" x2="20" y2="26" stroke="' + GREY + '"/>'))
images.setdefault("ic_tab_moredetail_up", chevron(GREY, "2.5,8 6,4.5 9.5,8"))
EYE = ('<path d="M2 10 C5 4.5 15 4.5 18 10 C15 15.5 5 15.5 2 10 Z"/>'
       '<circle cx="10" cy="10" r="2.6"/>')
images.setdefault("ic_password_on", svg(20, 20, f'<g fill="none" stroke="{GREY}" stroke-width="1.6" '
                                                f'stroke-linecap="round" stroke-linejoin="round">{EYE}</g>'))
images.setdefault("ic_password_off", svg(20, 20, f'<g fill="none" stroke="{GREY}" stroke-width="1.6" '
                                                 f'stroke-linecap="round" stroke-linejoin="round">{EYE}'
                                                 f'<line x1="3.5" y1="16.5" x2="16.5" y2="3.5"/></g>'))
images.setdefault("ic_newtask_arrow", svg(32, 32, f'<g fill="none" stroke="{GREY}" stroke-width="2.4" '
                                                  f'stroke-linecap="round" stroke-linejoin="round">'
                                                  f'<line x1="5" y1="16" x2="26" y2="16"/>'
                                                  f'<polyline points="19,9 26,16 19,23"/></g>'))
# --- end of task pages ---


# --- Security page: 200x180 box icons and the 350x230 box faces ---
def security_icon(colour, unlocked):
    shackle = ('<path d="M78 82 V62 a22 22 0 0 1 44 0 V66"/>' if unlocked
               else '<path d="M78 82 V62 a22 22 0 0 1 44 0 V82"/>')
    return svg(200, 180, f'<g fill="none" stroke="{colour}" stroke-width="5" stroke-linecap="round" '
                         f'stroke-linejoin="round">{shackle}'
                         f'<rect x="64" y="82" width="72" height="58" rx="8"/>'
                         f'<line x1="100" y1="104" x2="100" y2="118"/></g>'
                         f'<circle cx="100" cy="102" r="6" fill="{colour}"/>')


for suffix, colour in (("grey", GREY), ("blue", BLUE)):
    images.setdefault(f"ic_security_encrypt_{suffix}", security_icon(colour, False))
    images.setdefault(f"ic_security_dencrypt_{suffix}", security_icon(colour, True))
images.setdefault("img_security_normal", svg(350, 230, f'<rect x="16" y="16" width="318" height="198" rx="10" '
                                                       f'fill="#F9F9FE" stroke="{LIGHT}" stroke-width="2" '
                                                       f'stroke-dasharray="8 6"/>'))
images.setdefault("img_security_select", svg(350, 230, f'<rect x="16" y="16" width="318" height="198" rx="10" '
                                                       f'fill="#EAF3FF" stroke="{BLUE}" stroke-width="2" '
                                                       f'stroke-dasharray="8 6"/>'))
# --- end of Security page ---


# --- One-Touch Backup page: drive models (240x240), their step-3 pictures, the ring over the
# one-touch button (an overlay of the same size) and the success badge; carousel arrows ---
# Picture names follow MakerProducts::modelPictureName: the model without "/".
OTB_MODELS = [
    # name, body x, y, w, h, body fill, label fill, bays
    ("Zorvi One", 62, 30, 116, 180, "#F2F2F5", "#FFFFFF", 1),
    ("VelkanDuoPro", 35, 40, 170, 160, "#3A3A3C", "#F2F2F5", 2),
    ("Tessaro Slim", 72, 25, 96, 190, "#E5F0FF", "#FFFFFF", 1),
    ("Brindle Go", 30, 60, 180, 120, "#FFFFFF", "#F2F2F5", 1),
    ("Quorrel Max", 45, 45, 150, 150, "#D1D1D6", "#FFFFFF", 1),
    ("Zorvi Vault", 50, 20, 140, 196, "#2C2C2E", "#F2F2F5", 3),
    ("Tessaro Mini", 60, 70, 120, 100, "#F9F2E7", "#FFFFFF", 1),
]


def otb_button(x, y, w):
    return x + w - 24, y + 24, 11


def otb_drive(x, y, w, h, fill, label, bays, hint):
    bx, by, br = otb_button(x, y, w)
    lw = int(w * 0.55)
    ly = y + h - 46
    body = (f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="14" fill="{fill}" stroke="{DARK}" stroke-width="2"/>'
            f'<rect x="{x + 12}" y="{y + 12}" width="{w - 58}" height="6" rx="3" fill="{BLUE}"/>')
    for i in range(1, bays):
        yy = y + 34 + i * (h - 90) // bays
        body += f'<line x1="{x + 12}" y1="{yy}" x2="{x + w - 12}" y2="{yy}" stroke="{GREY}" stroke-width="2"/>'
    body += (f'<rect x="{x + 14}" y="{ly}" width="{lw}" height="30" rx="4" fill="{label}" stroke="{LIGHT}" stroke-width="1.5"/>'
             f'<line x1="{x + 22}" y1="{ly + 10}" x2="{x + lw - 4}" y2="{ly + 10}" stroke="{GREY}" stroke-width="3" stroke-linecap="round"/>'
             f'<line x1="{x + 22}" y1="{ly + 20}" x2="{x + lw // 2}" y2="{ly + 20}" stroke="{LIGHT}" stroke-width="3" stroke-linecap="round"/>'
             f'<circle cx="{x + w - 20}" cy="{y + h - 20}" r="4" fill="{GREEN}"/>'
             f'<circle cx="{bx}" cy="{by}" r="{br}" fill="{BLUE}" stroke="#FFFFFF" stroke-width="2"/>'
             f'<g fill="none" stroke="#FFFFFF" stroke-width="2.2" stroke-linecap="round" stroke-linejoin="round">'
             f'<polyline points="{bx - 4},{by - 1} {bx},{by - 5} {bx + 4},{by - 1}"/>'
             f'<line x1="{bx}" y1="{by - 5}" x2="{bx}" y2="{by + 5}"/></g>')
    if hint:
        # a pointer to the button from outside the body
        body += (f'<g fill="none" stroke="{GREY}" stroke-width="2.5" stroke-linecap="round" stroke-linejoin="round">'
                 f'<line x1="{min(bx + 40, 234)}" y1="{max(by - 40, 6)}" x2="{bx + 17}" y2="{by - 17}"/>'
                 f'<polyline points="{bx + 17},{by - 27} {bx + 17},{by - 17} {bx + 27},{by - 17}"/></g>')
    return svg(240, 240, body)


def otb_ring(x, y, w):
    bx, by, br = otb_button(x, y, w)
    return svg(240, 240, f'<circle cx="{bx}" cy="{by}" r="{br + 7}" fill="none" stroke="{BLUE}" stroke-width="4"/>'
                         f'<circle cx="{bx}" cy="{by}" r="{br + 14}" fill="none" stroke="{BLUE}" stroke-width="3" '
                         f'stroke-opacity="0.4"/>')


for name, x, y, w, h, fill, label, bays in OTB_MODELS:
    images[name] = otb_drive(x, y, w, h, fill, label, bays, False)
    images[f"OTB_{name}"] = otb_drive(x, y, w, h, fill, label, bays, True)
    images[f"OTB_{name}_2"] = otb_ring(x, y, w)
images["img_otb_success"] = svg(240, 240, f'<circle cx="188" cy="188" r="36" fill="{GREEN}" stroke="#FFFFFF" stroke-width="4"/>'
                                          f'<polyline points="170,189 183,202 206,176" fill="none" stroke="#FFFFFF" '
                                          f'stroke-width="7" stroke-linecap="round" stroke-linejoin="round"/>')
images["ic_otb_left_grey"] = circle_icon(GREY, GLYPHS["back"])
images["ic_otb_right_grey"] = circle_icon(GREY, '<polyline points="17,12 25,20 17,28"/>')
# --- end of One-Touch Backup page ---


# --- cloud file picker: 24x24 row and path-bar pictures (folder, home, file kinds) ---
def picker_document(mark):
    return svg(24, 24, f'<path d="M5.5 2.5 H14.5 L19.5 7.5 V21.5 H5.5 Z" fill="#FFFFFF" stroke="{GREY}" '
                       f'stroke-width="1.4" stroke-linejoin="round"/>'
                       f'<polyline points="14.5,2.5 14.5,7.5 19.5,7.5" fill="none" stroke="{GREY}" '
                       f'stroke-width="1.4" stroke-linejoin="round"/>{mark}')


images["ic_cloudpicker_folder"] = svg(24, 24, f'<path d="M2.5 6 a1.5 1.5 0 0 1 1.5 -1.5 H9 L11 7 H20 a1.5 1.5 0 0 1 '
                                              f'1.5 1.5 V18.5 a1.5 1.5 0 0 1 -1.5 1.5 H4 a1.5 1.5 0 0 1 -1.5 -1.5 Z" '
                                              f'fill="#8CC2FF" stroke="{BLUE}" stroke-width="1.3" stroke-linejoin="round"/>'
                                              f'<line x1="3" y1="9.5" x2="21" y2="9.5" stroke="{BLUE}" stroke-width="1.3"/>')
images["ic_cloudpicker_home"] = svg(24, 24, f'<g fill="none" stroke="{GREY}" stroke-width="1.8" stroke-linecap="round" '
                                            f'stroke-linejoin="round"><polyline points="3,11.5 12,3.5 21,11.5"/>'
                                            f'<path d="M5.5 9.5 V20.5 H10 V14.5 H14 V20.5 H18.5 V9.5"/></g>')
images["ic_cloudpicker_file"] = picker_document("")
images["ic_cloudpicker_file_text"] = picker_document(
    f'<g stroke="{BLUE}" stroke-width="1.4" stroke-linecap="round"><line x1="8.5" y1="11" x2="16.5" y2="11"/>'
    f'<line x1="8.5" y1="14" x2="16.5" y2="14"/><line x1="8.5" y1="17" x2="13.5" y2="17"/></g>')
images["ic_cloudpicker_file_image"] = picker_document(
    f'<circle cx="10" cy="11" r="1.6" fill="{ORANGE}"/>'
    f'<polygon points="7.5,18.5 11,14 13,16.5 14.5,14.5 17.5,18.5" fill="{GREEN}"/>')
images["ic_cloudpicker_file_video"] = picker_document(f'<polygon points="10,10.5 10,18 16,14.25" fill="{RED}"/>')
images["ic_cloudpicker_file_audio"] = picker_document(
    f'<g fill="{ORANGE}" stroke="{ORANGE}" stroke-width="1.2"><line x1="14.5" y1="10" x2="14.5" y2="16.5"/>'
    f'<line x1="14.5" y1="10" x2="11" y2="11"/><ellipse cx="12.8" cy="17" rx="1.8" ry="1.4"/></g>')
images["ic_cloudpicker_file_archive"] = picker_document(
    f'<g fill="{DARK}"><rect x="11" y="4" width="2" height="2"/><rect x="13" y="6" width="2" height="2"/>'
    f'<rect x="11" y="8" width="2" height="2"/><rect x="13" y="10" width="2" height="2"/>'
    f'<rect x="10.5" y="13" width="5" height="5" rx="1"/></g>')
images["ic_cloudpicker_check"] = svg(14, 14, '<polyline points="3,7.5 6,10.5 11,4" fill="none" stroke="#FFFFFF" '
                                             'stroke-width="2" stroke-linecap="round" stroke-linejoin="round"/>')
# --- end of cloud file picker ---


# --- Cloud Backup page: 280x180 tile pictures (title drawn below by the tile), 64x64 pictures of
# the picked source, the grey account picture ---
def cloud_shape(cx, cy, k, fill):
    return (f'<g fill="{fill}" stroke="none"><circle cx="{cx - 34 * k}" cy="{cy + 6 * k}" r="{24 * k}"/>'
            f'<circle cx="{cx}" cy="{cy - 12 * k}" r="{34 * k}"/><circle cx="{cx + 34 * k}" cy="{cy + 6 * k}" r="{24 * k}"/>'
            f'<rect x="{cx - 58 * k}" y="{cy + 6 * k}" width="{116 * k}" height="{24 * k}" rx="{12 * k}"/></g>')


CLOUD_GLYPHS = {
    # open box
    "dropbox": lambda cx, cy, k, c: (f'<g fill="none" stroke="{c}" stroke-width="{3 * k}" stroke-linejoin="round" '
                                     f'stroke-linecap="round"><path d="M{cx - 18 * k} {cy - 6 * k} L{cx} {cy + 2 * k} '
                                     f'L{cx + 18 * k} {cy - 6 * k} L{cx} {cy - 14 * k} Z"/>'
                                     f'<path d="M{cx - 18 * k} {cy - 6 * k} V{cy + 12 * k} L{cx} {cy + 20 * k} '
                                     f'L{cx + 18 * k} {cy + 12 * k} V{cy - 6 * k}"/>'
                                     f'<line x1="{cx}" y1="{cy + 2 * k}" x2="{cx}" y2="{cy + 20 * k}"/></g>'),
    # three-coloured triangle
    "google drive": lambda cx, cy, k, c: (f'<g fill="none" stroke-width="{4 * k}" stroke-linecap="round">'
                                          f'<line x1="{cx - 8 * k}" y1="{cy - 16 * k}" x2="{cx - 22 * k}" y2="{cy + 10 * k}" stroke="{GREEN}"/>'
                                          f'<line x1="{cx + 8 * k}" y1="{cy - 16 * k}" x2="{cx + 22 * k}" y2="{cy + 10 * k}" stroke="{ORANGE}"/>'
                                          f'<line x1="{cx - 14 * k}" y1="{cy + 18 * k}" x2="{cx + 14 * k}" y2="{cy + 18 * k}" stroke="{c}"/></g>'),
    # two small clouds
    "onedrive": lambda cx, cy, k, c: (cloud_shape(cx - 6 * k, cy + 2 * k, 0.28 * k, c)
                                      + cloud_shape(cx + 10 * k, cy + 10 * k, 0.24 * k, "#5AA9FF")),
}

for service, glyph in CLOUD_GLYPHS.items():
    images[f"ic_cloud_{service}"] = svg(280, 180, cloud_shape(140, 74, 1.3, "#EAF3FF") + glyph(140, 74, 1.3, BLUE))
    images[f"ic_cloud_{service}_changefile"] = svg(64, 64,
        f'<path d="M12 4 H40 L52 16 V60 H12 Z" fill="#FFFFFF" stroke="{GREY}" stroke-width="2" stroke-linejoin="round"/>'
        f'<polyline points="40,4 40,16 52,16" fill="none" stroke="{GREY}" stroke-width="2" stroke-linejoin="round"/>'
        + glyph(32, 36, 0.7, BLUE))
images["ic_cloud_Destination"] = svg(280, 180,
    f'<g fill="none" stroke="{BLUE}" stroke-width="4" stroke-linecap="round" stroke-linejoin="round">'
    f'<rect x="78" y="78" width="124" height="58" rx="8" fill="#EAF3FF"/><line x1="78" y1="116" x2="202" y2="116"/>'
    f'<line x1="140" y1="14" x2="140" y2="60"/><polyline points="122,44 140,62 158,44"/></g>'
    f'<circle cx="186" cy="126" r="4" fill="{BLUE}"/><circle cx="172" cy="126" r="4" fill="{BLUE}"/>')
images["ic_backup_account_grey"] = svg(64, 64, f'<circle cx="32" cy="32" r="32" fill="{LIGHT}"/>'
                                               f'<circle cx="32" cy="25" r="11" fill="#FFFFFF"/>'
                                               f'<path d="M12 54 a20 17 0 0 1 40 0 Z" fill="#FFFFFF"/>')
# --- end of Cloud Backup page ---


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, text in sorted(images.items()):
        with open(os.path.join(OUT, name + ".svg"), "w") as f:
            f.write(text)
    with open(os.path.join(HERE, "images.qrc"), "w") as f:
        f.write('<!DOCTYPE RCC>\n<RCC version="1.0">\n<qresource prefix="/">\n')
        for name in sorted(images):
            f.write(f'  <file>images/{name}.svg</file>\n')
        f.write('</qresource>\n</RCC>\n')


if __name__ == "__main__":
    main()
