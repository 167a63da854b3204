#include "SevenZipHeader.h"

#include <QFile>
#include <QScopeGuard>

#include <lzma.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

enum Id : quint8 {
    kEnd = 0,
    kHeader = 1,
    kArchiveProperties = 2,
    kAdditionalStreamsInfo = 3,
    kMainStreamsInfo = 4,
    kFilesInfo = 5,
    kPackInfo = 6,
    kUnpackInfo = 7,
    kSubStreamsInfo = 8,
    kSize = 9,
    kCrc = 10,
    kFolder = 11,
    kCodersUnpackSize = 12,
    kNumUnpackStream = 13,
    kName = 17,
    kEncodedHeader = 23,
};

// An archive is read only as far as its header: every size it gives is checked against these.
constexpr quint64 kMaxHeaderBytes = quint64(512) << 20;
constexpr quint64 kMaxCount = 1 << 24;
constexpr int kMaxCyclesPower = 24;
constexpr quint64 kMaxDecoderMemory = quint64(1) << 30;
// Coders and streams of one folder; 7-Zip itself writes at most four coders.
constexpr quint64 kMaxFolderStreams = 64;
constexpr size_t kMaxHeaderCoders = 8;
// 7-Zip encrypts a header with one AES coder and one key: each further key is seconds of work.
constexpr size_t kMaxKeyDerivations = 2;

struct Malformed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

quint32 crcOf(QByteArrayView data)
{
    return quint32(::crc32(::crc32(0L, nullptr, 0), reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
}

quint64 littleEndian(const char* p, int bytes)
{
    quint64 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | quint8(p[i]);
    return value;
}

class Bytes {
public:
    explicit Bytes(QByteArrayView data) : m_data(data) {}

    quint8 byte()
    {
        need(1);
        return quint8(m_data[m_pos++]);
    }
    // The header's own variable-length number: the first byte's leading ones count the bytes that follow.
    quint64 number()
    {
        const quint8 first = byte();
        quint8 mask = 0x80;
        quint64 value = 0;
        for (int i = 0; i < 8; ++i) {
            if ((first & mask) == 0)
                return value | (quint64(first & (mask - 1)) << (8 * i));
            value |= quint64(byte()) << (8 * i);
            mask >>= 1;
        }
        return value;
    }
    quint64 count(quint64 limit = kMaxCount)
    {
        const quint64 n = number();
        if (n > limit)
            throw Malformed("a count out of range");
        return n;
    }
    quint32 uint32()
    {
        need(4);
        const quint32 value = quint32(littleEndian(m_data.data() + m_pos, 4));
        m_pos += 4;
        return value;
    }
    QByteArrayView take(quint64 n)
    {
        need(n);
        const QByteArrayView part = m_data.sliced(m_pos, qsizetype(n));
        m_pos += qsizetype(n);
        return part;
    }
    void expect(quint8 id)
    {
        if (byte() != id)
            throw Malformed("an unexpected header property");
    }
    quint64 left() const { return quint64(m_data.size() - m_pos); }
    // A bit per item, the first in the high bit.
    std::vector<bool> bits(quint64 n)
    {
        need((n + 7) / 8);
        std::vector<bool> set(n);
        quint8 current = 0;
        for (quint64 i = 0; i < n; ++i) {
            if (i % 8 == 0)
                current = byte();
            set[i] = (current & (0x80 >> (i % 8))) != 0;
        }
        return set;
    }
    std::vector<std::optional<quint32>> digests(quint64 n)
    {
        const bool all = byte() != 0;
        if (all && n > left() / 4)
            throw Malformed("the header ends too early");
        const std::vector<bool> defined = all ? std::vector<bool>(n, true) : bits(n);
        if (quint64(std::count(defined.begin(), defined.end(), true)) > left() / 4)
            throw Malformed("the header ends too early");
        std::vector<std::optional<quint32>> crcs(n);
        for (quint64 i = 0; i < n; ++i) {
            if (defined[i])
                crcs[i] = uint32();
        }
        return crcs;
    }

private:
    void need(quint64 n) const
    {
        if (n > quint64(m_data.size() - m_pos))
            throw Malformed("the header ends too early");
    }
    QByteArrayView m_data;
    qsizetype m_pos = 0;
};

struct Coder {
    QByteArray method;
    QByteArray properties;
    quint64 inStreams = 1;
    quint64 outStreams = 1;
};

struct Folder {
    std::vector<Coder> coders;
    std::vector<std::pair<quint64, quint64>> bonds;   // (in-stream, out-stream feeding it)
    std::vector<quint64> packedStreams;               // in-streams read from pack streams
    std::vector<quint64> unpackSizes;                 // one per out-stream
    std::optional<quint32> crc;
    quint64 outStreams = 0;
    // Every coder one stream in and one out: the only kind a header is encoded with.
    bool simple() const
    {
        return std::all_of(coders.begin(), coders.end(), [](const Coder& c) { return c.inStreams == 1 && c.outStreams == 1; });
    }
};

struct Streams {
    quint64 packPosition = 0;
    std::vector<quint64> packSizes;
    std::vector<Folder> folders;
};

// A folder's coders and how their streams are bound. The data folders are only read past
// (a program's folder has a coder of several streams, BCJ2); only the header's is decoded.
Folder readFolder(Bytes& b)
{
    Folder folder;
    const quint64 coders = b.count(kMaxFolderStreams);
    if (coders == 0)
        throw Malformed("a folder without coders");
    quint64 inStreams = 0;
    for (quint64 i = 0; i < coders; ++i) {
        const quint8 flags = b.byte();
        if (flags & 0x80)
            throw Malformed("alternative coders");
        Coder coder;
        coder.method = b.take(flags & 0x0F).toByteArray();
        if (flags & 0x10) {
            coder.inStreams = b.count(kMaxFolderStreams);
            coder.outStreams = b.count(kMaxFolderStreams);
        }
        if (flags & 0x20)
            coder.properties = b.take(b.count(1 << 16)).toByteArray();
        inStreams += coder.inStreams;
        folder.outStreams += coder.outStreams;
        if (inStreams > kMaxFolderStreams || folder.outStreams > kMaxFolderStreams)
            throw Malformed("a folder with too many streams");
        folder.coders.push_back(coder);
    }
    if (folder.outStreams == 0 || inStreams < folder.outStreams)
        throw Malformed("a broken coder chain");
    // Every out-stream but the folder's result feeds an in-stream; the in-streams left are read
    // from pack streams.
    for (quint64 i = 0; i + 1 < folder.outStreams; ++i) {
        const quint64 in = b.count(inStreams - 1);
        const quint64 out = b.count(folder.outStreams - 1);
        folder.bonds.emplace_back(in, out);
    }
    const quint64 packed = inStreams - folder.bonds.size();
    if (packed == 1) {
        for (quint64 in = 0; in < inStreams && folder.packedStreams.empty(); ++in) {
            const bool bound = std::any_of(folder.bonds.begin(), folder.bonds.end(),
                                           [in](const auto& bond) { return bond.first == in; });
            if (!bound)
                folder.packedStreams.push_back(in);
        }
        if (folder.packedStreams.empty())
            throw Malformed("a broken coder chain");
    } else {
        for (quint64 i = 0; i < packed; ++i)
            folder.packedStreams.push_back(b.count(inStreams - 1));
    }
    return folder;
}

void readSubStreams(Bytes& b, const std::vector<Folder>& folders)
{
    std::vector<quint64> perFolder(folders.size(), 1);
    for (;;) {
        const quint8 id = b.byte();
        if (id == kEnd)
            return;
        if (id == kNumUnpackStream) {
            for (quint64& n : perFolder)
                n = b.count();
        } else if (id == kSize) {
            for (const quint64 n : perFolder) {
                for (quint64 i = 1; i < n; ++i)
                    b.number();
            }
        } else if (id == kCrc) {
            quint64 unknown = 0;
            for (size_t f = 0; f < folders.size(); ++f)
                unknown += (perFolder[f] == 1 && folders[f].crc) ? 0 : perFolder[f];
            b.digests(std::min(unknown, kMaxCount));
        } else {
            throw Malformed("an unknown sub-stream property");
        }
    }
}

Streams readStreams(Bytes& b)
{
    Streams streams;
    for (;;) {
        const quint8 id = b.byte();
        if (id == kEnd)
            return streams;
        if (id == kPackInfo) {
            streams.packPosition = b.number();
            const quint64 count = b.count();
            for (quint8 sub = b.byte(); sub != kEnd; sub = b.byte()) {
                if (sub == kSize) {
                    for (quint64 i = 0; i < count; ++i)
                        streams.packSizes.push_back(b.number());
                } else if (sub == kCrc) {
                    b.digests(count);
                } else {
                    throw Malformed("an unknown pack property");
                }
            }
        } else if (id == kUnpackInfo) {
            b.expect(kFolder);
            const quint64 count = b.count();
            if (b.byte() != 0)
                throw Malformed("folders kept elsewhere");
            for (quint64 i = 0; i < count; ++i)
                streams.folders.push_back(readFolder(b));
            b.expect(kCodersUnpackSize);
            for (Folder& folder : streams.folders) {
                for (quint64 i = 0; i < folder.outStreams; ++i)
                    folder.unpackSizes.push_back(b.number());
            }
            for (quint8 sub = b.byte(); sub != kEnd; sub = b.byte()) {
                if (sub != kCrc)
                    throw Malformed("an unknown folder property");
                const auto crcs = b.digests(count);
                for (quint64 i = 0; i < count; ++i)
                    streams.folders[i].crc = crcs[i];
            }
        } else if (id == kSubStreamsInfo) {
            readSubStreams(b, streams.folders);
        } else {
            throw Malformed("an unknown stream property");
        }
    }
}

QByteArray readAt(QFile& file, quint64 offset, quint64 size)
{
    if (size > kMaxHeaderBytes || offset > quint64(file.size()) || size > quint64(file.size()) - offset)
        throw Malformed("the header lies beyond the end of the archive");
    if (!file.seek(qint64(offset)))
        throw Malformed("the archive cannot be read");
    const QByteArray data = file.read(qint64(size));
    if (quint64(data.size()) != size)
        throw Malformed("the archive cannot be read");
    return data;
}

QByteArray decodeLzma(const Coder& coder, QByteArrayView input, quint64 size)
{
    lzma_filter filters[2] = {};
    filters[0].id = coder.method.size() == 1 ? LZMA_FILTER_LZMA2 : LZMA_FILTER_LZMA1;
    filters[1].id = LZMA_VLI_UNKNOWN;
    if (lzma_properties_decode(&filters[0], nullptr, reinterpret_cast<const uint8_t*>(coder.properties.constData()),
                               size_t(coder.properties.size()))
        != LZMA_OK)
        throw Malformed("bad compression properties");
    const std::unique_ptr<void, void (*)(void*)> options(filters[0].options, std::free);
    if (lzma_raw_decoder_memusage(filters) > kMaxDecoderMemory)
        throw Malformed("the header's dictionary is too large");
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&stream, filters) != LZMA_OK)
        throw Malformed("the header cannot be decompressed");
    QByteArray output(qsizetype(size), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<const uint8_t*>(input.data());
    stream.avail_in = size_t(input.size());
    stream.next_out = reinterpret_cast<uint8_t*>(output.data());
    stream.avail_out = size_t(size);
    // LZMA1 has no end mark here: the output's known size ends it.
    lzma_ret result = LZMA_OK;
    while (stream.avail_out > 0 && result == LZMA_OK) {
        const size_t before = stream.avail_in + stream.avail_out;
        result = lzma_code(&stream, LZMA_RUN);
        if (result == LZMA_OK && stream.avail_in + stream.avail_out == before)
            break;
    }
    const bool whole = stream.avail_out == 0;
    lzma_end(&stream);
    if (!whole)
        throw Malformed("the header cannot be decompressed");
    return output;
}

// The password and the keys derived from it in one read. A folder may chain AES coders, and
// deriving a key is the slow part: each rounds and salt is derived once. Wiped when done.
class Secrets {
public:
    explicit Secrets(const QString& password) : password(password) {}
    ~Secrets()
    {
        for (Derived& d : m_keys)
            std::memset(d.key, 0, sizeof d.key);
    }
    Secrets(const Secrets&) = delete;
    Secrets& operator=(const Secrets&) = delete;

    const unsigned char* find(int cyclesPower, const QByteArray& salt) const
    {
        for (const Derived& d : m_keys) {
            if (d.cyclesPower == cyclesPower && d.salt == salt)
                return d.key;
        }
        return nullptr;
    }
    size_t derived() const { return m_keys.size(); }
    void keep(int cyclesPower, const QByteArray& salt, const unsigned char* key)
    {
        m_keys.push_back({cyclesPower, salt, {}});
        std::memcpy(m_keys.back().key, key, sizeof m_keys.back().key);
    }

    const QString& password;

private:
    struct Derived {
        int cyclesPower;
        QByteArray salt;
        unsigned char key[32];
    };
    std::vector<Derived> m_keys;
};

QByteArray decrypt(const Coder& coder, QByteArrayView input, Secrets& secrets)
{
    const QString& password = secrets.password;
    const QByteArray& p = coder.properties;
    if (p.isEmpty())
        throw Malformed("bad encryption properties");
    const quint8 first = quint8(p[0]);
    const int cyclesPower = first & 0x3F;
    QByteArray salt;
    QByteArray iv(16, '\0');
    if (first & 0xC0) {
        if (p.size() < 2)
            throw Malformed("bad encryption properties");
        const quint8 second = quint8(p[1]);
        const int saltSize = ((first >> 7) & 1) + (second >> 4);
        const int ivSize = ((first >> 6) & 1) + (second & 0x0F);
        if (p.size() != 2 + saltSize + ivSize)
            throw Malformed("bad encryption properties");
        salt = p.mid(2, saltSize);
        iv.replace(0, ivSize, p.mid(2 + saltSize, ivSize));
    }
    // Salt, password and room for a round counter, built in place: no copies of the password
    // are left behind unwiped.
    QByteArray round;
    round.reserve(salt.size() + password.size() * 2 + 8);
    round.append(salt);
    for (const QChar c : password)
        round.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    const qsizetype counterAt = round.size();
    round.append(8, '\0');
    unsigned char key[32] = {};
    const auto forget = qScopeGuard([&round, &key] {
        round.fill('\0');
        std::memset(key, 0, sizeof key);
    });
    if (const unsigned char* known = secrets.find(cyclesPower, salt)) {
        std::memcpy(key, known, sizeof key);
    } else if (cyclesPower == 0x3F) {
        std::memcpy(key, round.constData(), size_t(std::min<qsizetype>(counterAt, 32)));
    } else {
        if (cyclesPower > kMaxCyclesPower)
            throw Malformed("an unusual key derivation");
        if (secrets.derived() >= kMaxKeyDerivations)
            throw Malformed("a header that needs more keys than 7-Zip writes");
        // One digest over salt, password and a round counter, 2^power times.
        char* counter = round.data() + counterAt;
        const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> sha(EVP_MD_CTX_new(), EVP_MD_CTX_free);
        bool ok = sha && EVP_DigestInit_ex(sha.get(), EVP_sha256(), nullptr) == 1;
        for (quint64 i = 0; ok && i < (quint64(1) << cyclesPower); ++i) {
            ok = EVP_DigestUpdate(sha.get(), round.constData(), size_t(round.size())) == 1;
            for (int k = 0; k < 8 && ++counter[k] == 0; ++k) {
            }
        }
        unsigned int length = 0;
        if (!ok || EVP_DigestFinal_ex(sha.get(), key, &length) != 1)
            throw Malformed("the key cannot be derived");
        secrets.keep(cyclesPower, salt, key);
    }
    const qsizetype blocks = input.size() / 16 * 16;
    QByteArray output(blocks, Qt::Uninitialized);
    const std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> aes(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    int written = 0;
    const bool ok = aes && EVP_DecryptInit_ex(aes.get(), EVP_aes_256_cbc(), nullptr, key,
                                              reinterpret_cast<const unsigned char*>(iv.constData())) == 1
        && EVP_CIPHER_CTX_set_padding(aes.get(), 0) == 1
        && EVP_DecryptUpdate(aes.get(), reinterpret_cast<unsigned char*>(output.data()), &written,
                             reinterpret_cast<const unsigned char*>(input.data()), int(blocks)) == 1;
    if (!ok || written != blocks)
        throw Malformed("the header cannot be decrypted");
    return output;
}

QByteArray runCoder(const Coder& coder, QByteArrayView input, quint64 size, Secrets& secrets)
{
    QByteArray output;
    if (coder.method == QByteArray(1, '\0'))
        output = input.toByteArray();
    else if (coder.method == QByteArray("\x03\x01\x01", 3) || coder.method == QByteArray(1, '\x21'))
        return decodeLzma(coder, input, size);
    else if (coder.method == QByteArray("\x06\xF1\x07\x01", 4))
        output = decrypt(coder, input, secrets);
    else
        throw Malformed("a coder that cannot be read");
    if (quint64(output.size()) < size)
        throw Malformed("a stream shorter than its size");
    output.truncate(qsizetype(size));
    return output;
}

// What the folder's out-stream `out` holds: each coder has one stream in and one out, bonded
// into a chain that starts at the pack stream.
QByteArray decodeOut(const Folder& folder, quint64 out, QByteArrayView packed, Secrets& secrets, int depth)
{
    if (depth > int(folder.coders.size()) || out >= folder.unpackSizes.size() || folder.unpackSizes[out] > kMaxHeaderBytes)
        throw Malformed("a broken coder chain");
    const Coder& coder = folder.coders[out];
    for (const auto& [in, from] : folder.bonds) {
        if (in == out)
            return runCoder(coder, decodeOut(folder, from, packed, secrets, depth + 1), folder.unpackSizes[out], secrets);
    }
    return runCoder(coder, packed, folder.unpackSizes[out], secrets);
}

QByteArray decodeHeader(QFile& file, const Streams& streams, Secrets& secrets)
{
    if (streams.folders.empty() || streams.packSizes.empty())
        throw Malformed("an encoded header without data");
    const Folder& folder = streams.folders.front();
    if (!folder.simple() || folder.packedStreams.size() != 1)
        throw Malformed("a header encoded with a coder of several streams");
    // Each coder of the chain may give up to the header's limit: a few are all a header needs.
    if (folder.coders.size() > kMaxHeaderCoders)
        throw Malformed("a header encoded too often");
    quint64 main = folder.coders.size();
    for (quint64 out = 0; out < folder.coders.size(); ++out) {
        bool feeds = false;
        for (const auto& bond : folder.bonds)
            feeds = feeds || bond.second == out;
        if (!feeds)
            main = out;
    }
    if (main == folder.coders.size() || streams.packPosition > quint64(file.size()))
        throw Malformed("a broken coder chain");
    const QByteArray packed = readAt(file, 32 + streams.packPosition, streams.packSizes.front());
    const QByteArray header = decodeOut(folder, main, packed, secrets, 0);
    if (folder.crc && crcOf(header) != *folder.crc)
        throw Malformed(secrets.password.isEmpty() ? "the header does not read back" : "the header does not read back (password?)");
    return header;
}

QList<QString> readFiles(Bytes& b)
{
    quint8 id = b.byte();
    if (id == kArchiveProperties) {
        for (quint8 type = b.byte(); type != 0; type = b.byte())
            b.take(b.number());
        id = b.byte();
    }
    if (id == kAdditionalStreamsInfo) {
        readStreams(b);
        id = b.byte();
    }
    if (id == kMainStreamsInfo) {
        readStreams(b);
        id = b.byte();
    }
    if (id == kEnd)
        return {};
    if (id != kFilesInfo)
        throw Malformed("no file list");
    const quint64 files = b.count();
    std::optional<QList<QString>> names;
    for (quint8 type = b.byte(); type != kEnd; type = b.byte()) {
        const QByteArrayView data = b.take(b.number());
        if (type != kName)
            continue;
        if (names)
            throw Malformed("two lists of names");
        Bytes n(data);
        if (n.byte() != 0)
            throw Malformed("names kept elsewhere");
        const QByteArrayView text = n.take(n.left());
        // Each name ends in a zero unit: the list is whole, one name per item, nothing after.
        if (text.size() % 2 != 0)
            throw Malformed("the names do not match the items");
        names.emplace();
        names->reserve(qsizetype(std::min<quint64>(files, quint64(text.size()) / 2)));
        std::vector<char16_t> units;
        for (qsizetype i = 0; i < text.size(); i += 2) {
            const char16_t unit = char16_t(quint8(text[i]) | (quint8(text[i + 1]) << 8));
            if (unit != 0) {
                units.push_back(unit);
                continue;
            }
            if (quint64(names->size()) == files)
                throw Malformed("more names than items");
            names->append(QString::fromUtf16(units.data(), qsizetype(units.size())));
            units.clear();
        }
        if (!units.empty())
            throw Malformed("the names do not match the items");
    }
    if (files > 0 && (!names || quint64(names->size()) != files))
        throw Malformed("the names do not match the items");
    return names.value_or(QList<QString>{});
}

} // namespace

std::optional<QList<QString>> SevenZipHeader::readNames(const QString& archivePath, const QString& password, QString* error)
{
    QFile file(archivePath);
    try {
        if (!file.open(QIODevice::ReadOnly))
            throw Malformed(file.errorString().toStdString());
        const QByteArray start = readAt(file, 0, 32);
        if (!start.startsWith(QByteArray("7z\xBC\xAF\x27\x1C", 6)) || crcOf(QByteArrayView(start).sliced(12, 20)) != littleEndian(start.constData() + 8, 4))
            throw Malformed("not a 7z archive");
        const quint64 offset = littleEndian(start.constData() + 12, 8);
        const quint64 size = littleEndian(start.constData() + 20, 8);
        if (size == 0)
            return QList<QString>{};
        if (offset > quint64(file.size()))
            throw Malformed("the header lies beyond the end of the archive");
        QByteArray header = readAt(file, 32 + offset, size);
        if (crcOf(header) != littleEndian(start.constData() + 28, 4))
            throw Malformed("the header is damaged");
        Secrets secrets(password);
        for (int level = 0; level < 4; ++level) {
            Bytes b(header);
            const quint8 id = b.byte();
            if (id == kHeader)
                return readFiles(b);
            if (id != kEncodedHeader)
                throw Malformed("no header");
            header = decodeHeader(file, readStreams(b), secrets);
        }
        throw Malformed("a header encoded too often");
    } catch (const std::exception& e) {
        if (error)
            *error = QStringLiteral("Cannot read the names in \"%1\": %2").arg(archivePath, QString::fromUtf8(e.what()));
        return std::nullopt;
    }
}
