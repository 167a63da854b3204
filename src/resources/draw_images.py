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
