#include "core/exchange/TextDecoding.h"

#include "core/exchange/TextLines.h"

#include <uchardet.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ucsdet.h>

#include <cstring>
#include <memory>
#include <vector>

namespace quillfern::exchange {
namespace {

struct Bom {
    const char *encoding;
    QByteArrayView bytes;
};

// UTF-32 marks come first because the UTF-32LE one begins with the UTF-16LE one.
constexpr Bom boms[] = {
    {"UTF-32LE", QByteArrayView("\xFF\xFE\x00\x00", 4)}, {"UTF-32BE", QByteArrayView("\x00\x00\xFE\xFF", 4)},
    {"UTF-8", QByteArrayView("\xEF\xBB\xBF", 3)},        {"UTF-16LE", QByteArrayView("\xFF\xFE", 2)},
    {"UTF-16BE", QByteArrayView("\xFE\xFF", 2)},
};

const Bom *bomOf(QByteArrayView head)
{
    for (const Bom &bom : boms) {
        if (head.startsWith(bom.bytes))
            return &bom;
    }
    return nullptr;
}

bool isWide(const QString &encoding)
{
    return encoding.startsWith(u"UTF-16") || encoding.startsWith(u"UTF-32");
}

// Valid UTF-8 throughout, a sequence cut off by the end of the head aside.
bool isUtf8(QByteArrayView head)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(head.data());
    const qsizetype size = head.size();
    for (qsizetype i = 0; i < size;) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        for (int k = 1; k < length; ++k) {
            if (i + k >= size)
                return true;
            const unsigned char next = bytes[i + k];
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF))
                return false;
        }
        i += length;
    }
    return true;
}

// UTF-16 without a mark still shows itself: ASCII text puts a NUL in every other byte.
QString wideWithoutBom(QByteArrayView head)
{
    const qsizetype pairs = std::min<qsizetype>(head.size() / 2, 4096);
    if (pairs < 2)
        return {};
    qsizetype evenZeros = 0, oddZeros = 0;
    for (qsizetype i = 0; i < pairs; ++i) {
        evenZeros += head[2 * i] == 0;
        oddZeros += head[2 * i + 1] == 0;
    }
    if (oddZeros * 10 >= pairs * 3 && evenZeros * 20 < pairs)
        return QStringLiteral("UTF-16LE");
    if (evenZeros * 10 >= pairs * 3 && oddZeros * 20 < pairs)
        return QStringLiteral("UTF-16BE");
    return {};
}

// The detector's names as the picker's; families collapse to the superset a Windows program writes.
QString fromDetectorName(QByteArrayView name)
{
    const QString upper = QString::fromLatin1(name).toUpper();
    if (upper.isEmpty() || upper == u"ASCII" || upper == u"UTF-8")
        return QStringLiteral("UTF-8");
    if (upper == u"SHIFT_JIS" || upper == u"WINDOWS-31J" || upper == u"CP932")
        return QStringLiteral("Shift_JIS");
    if (upper == u"GB18030" || upper == u"GB2312" || upper == u"GBK" || upper == u"HZ-GB-2312")
        return QStringLiteral("GB18030");
    if (upper == u"BIG5" || upper == u"BIG5-HKSCS" || upper == u"EUC-TW")
        return QStringLiteral("Big5");
    if (upper == u"EUC-KR" || upper == u"UHC" || upper == u"CP949" || upper == u"ISO-2022-KR")
        return QStringLiteral("EUC-KR");
    if (upper == u"EUC-JP" || upper == u"ISO-2022-JP")
        return QStringLiteral("EUC-JP");
    if (upper == u"ISO-8859-1" || upper == u"WINDOWS-1252" || upper == u"ISO-8859-15")
        return QStringLiteral("windows-1252");
    if (upper.startsWith(u"WINDOWS-"))
        return QStringLiteral("windows-") + upper.mid(8);
    return QString::fromLatin1(name);
}

// The converter ICU opens for a picker name: the supersets, so one vendor character does not fail a file.
QByteArray icuName(const QString &encoding)
{
    if (encoding == u"Shift_JIS")
        return "windows-31j";
    if (encoding == u"EUC-KR")
        return "windows-949";
    if (encoding == u"Big5")
        return "windows-950";
    return encoding.toLatin1();
}

struct ConverterCloser {
    void operator()(UConverter *converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

ImportProblem problemAt(const char *key, QStringView text, qsizetype position, QStringList more = {})
{
    const int line = lineAt(text, position);
    return {QString::fromLatin1(key), QStringList{QString::number(line)} + more, line};
}

// A NUL, or more control characters than text ever has, make a binary file; the first one names the line.
std::optional<ImportProblem> binaryProblem(QStringView text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        return problemAt("importBinaryFile", text, nul);
    const qsizetype sample = std::min<qsizetype>(text.size(), 65536);
    qsizetype controls = 0, first = -1;
    for (qsizetype i = 0; i < sample; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f' && c != 0x1A) {
            if (first < 0)
                first = i;
            ++controls;
        }
    }
    if (controls > 8 && controls * 100 > sample)
        return problemAt("importBinaryFile", text, first);
    return std::nullopt;
}

bool isEastAsianMultibyte(const QString &encoding)
{
    static const QStringList names{QStringLiteral("Shift_JIS"), QStringLiteral("EUC-JP"), QStringLiteral("GB18030"),
                                   QStringLiteral("Big5"), QStringLiteral("EUC-KR")};
    return names.contains(encoding);
}

// Whether the head reads in the encoding without a byte it cannot place; a character cut off at the end of
// the head is not held against it.
bool decodesCleanly(QByteArrayView head, const QString &encoding)
{
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(icuName(encoding).constData(), &status));
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status))
        return false;
    std::vector<UChar> buffer(size_t(head.size()) + 1);
    UChar *target = buffer.data();
    const char *source = head.data();
    ucnv_toUnicode(converter.get(), &target, buffer.data() + buffer.size(), &source, head.data() + head.size(), nullptr,
                   false, &status);
    return U_SUCCESS(status);
}

// A broker's file is mostly ASCII with a handful of distinct words, too few for uchardet's statistics,
// which then settle on a Western page. ICU's detector, which weighs the most frequent characters of each
// language, gets a second say in that case.
std::optional<QString> eastAsianSecondOpinion(QByteArrayView head)
{
    UErrorCode status = U_ZERO_ERROR;
    UCharsetDetector *detector = ucsdet_open(&status);
    ucsdet_setText(detector, head.data(), int32_t(std::min<qsizetype>(head.size(), INT32_MAX)), &status);
    const UCharsetMatch *match = U_SUCCESS(status) ? ucsdet_detect(detector, &status) : nullptr;
    std::optional<QString> answer;
    if (match && U_SUCCESS(status)) {
        const QString name = fromDetectorName(ucsdet_getName(match, &status));
        if (U_SUCCESS(status) && isEastAsianMultibyte(name) && decodesCleanly(head, name))
            answer = name;
    }
    ucsdet_close(detector);
    return answer;
}

} // namespace

DetectedEncoding detectEncoding(QByteArrayView head)
{
    if (const Bom *bom = bomOf(head))
        return {QString::fromLatin1(bom->encoding), true};
    if (const QString wide = wideWithoutBom(head); !wide.isEmpty())
        return {wide, false};
    if (isUtf8(head))
        return {QStringLiteral("UTF-8"), false};
    uchardet_t detector = uchardet_new();
    uchardet_handle_data(detector, head.data(), size_t(head.size()));
    uchardet_data_end(detector);
    QString name = fromDetectorName(uchardet_get_charset(detector));
    uchardet_delete(detector);
    if (!isEastAsianMultibyte(name))
        name = eastAsianSecondOpinion(head).value_or(name);
    // Bytes that are not UTF-8 and that the detector cannot place read best as the Western Windows page,
    // which gives every byte a character.
    return {name == u"UTF-8" ? QStringLiteral("windows-1252") : name, false};
}

QStringList offeredEncodings()
{
    return {QStringLiteral("UTF-8"),     QStringLiteral("UTF-16LE"), QStringLiteral("UTF-16BE"),
            QStringLiteral("Shift_JIS"), QStringLiteral("EUC-JP"),   QStringLiteral("GB18030"),
            QStringLiteral("Big5"),      QStringLiteral("EUC-KR"),   QStringLiteral("windows-1252")};
}

std::optional<ImportProblem> checkImportSize(qint64 bytes)
{
    if (bytes > kMaxImportBytes) {
        const qint64 megabytes = (bytes + 1024 * 1024 - 1) / (1024 * 1024);
        return ImportProblem{QStringLiteral("importFileTooLarge"),
                             {QString::number(megabytes), QString::number(kMaxImportBytes / (1024 * 1024))}};
    }
    if (bytes == 0)
        return ImportProblem{QStringLiteral("importEmptyFile"), {}};
    return std::nullopt;
}

DecodedText decodeText(QByteArrayView bytes, const QString &encoding, const ProgressFn &progress)
{
    DecodedText decoded;
    if (auto problem = checkImportSize(bytes.size())) {
        decoded.problem = std::move(problem);
        return decoded;
    }
    if (const Bom *bom = bomOf(bytes); bom && encoding == QLatin1String(bom->encoding))
        bytes = bytes.sliced(bom->bytes.size());

    // A NUL byte in a byte-wide encoding is binary at once, before any decoding.
    if (!isWide(encoding)) {
        if (const void *nul = std::memchr(bytes.data(), 0, size_t(bytes.size()))) {
            const qsizetype at = static_cast<const char *>(nul) - bytes.data();
            const int line = lineAt(bytes.first(at));
            decoded.problem = ImportProblem{QStringLiteral("importBinaryFile"), {QString::number(line)}, line};
            return decoded;
        }
    }

    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(icuName(encoding).constData(), &status));
    if (U_FAILURE(status)) {
        decoded.problem = ImportProblem{QStringLiteral("importUnknownEncoding"), {encoding}};
        return decoded;
    }
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);

    // No encoding gives more UTF-16 units than it has bytes.
    QString &text = decoded.text;
    text.resize(bytes.size());
    UChar *const begin = reinterpret_cast<UChar *>(text.data());
    UChar *target = begin;
    const char *source = bytes.data();
    const char *const end = bytes.data() + bytes.size();
    constexpr qsizetype chunk = 1 << 20;
    while (true) {
        const char *chunkEnd = end - source > chunk ? source + chunk : end;
        const bool last = chunkEnd == end;
        status = U_ZERO_ERROR;
        ucnv_toUnicode(converter.get(), &target, begin + text.size(), &source, chunkEnd, nullptr, last, &status);
        if (U_FAILURE(status)) {
            const qsizetype at = target - begin;
            text.truncate(at);
            decoded.problem = problemAt("importUndecodable", text, at, {encoding});
            return decoded;
        }
        if (last)
            break;
        if (progress && !progress(source - bytes.data(), bytes.size())) {
            decoded.cancelled = true;
            text.clear();
            return decoded;
        }
    }
    text.truncate(target - begin);
    if (progress)
        progress(bytes.size(), bytes.size());

    if (auto problem = binaryProblem(text)) {
        decoded.problem = std::move(problem);
    } else if (QStringView(text).trimmed().isEmpty()) {
        decoded.problem = ImportProblem{QStringLiteral("importEmptyFile"), {}};
    }
    if (decoded.problem)
        text.clear();
    return decoded;
}

} // namespace quillfern::exchange
