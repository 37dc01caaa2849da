#include "tablereaders.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace corvina::tableparser {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence starting at s[i], or 0 if malformed
// (overlong forms, surrogates and code points above U+10FFFF included).
std::size_t utf8SequenceLength(std::string_view s, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80)
        return 1;
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (s.size() - i < len)
        return 0;
    const unsigned char second = byte(i + 1);
    if (second < lo || second > hi)
        return 0;
    for (std::size_t k = 2; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    }
    return len;
}

char32_t decodeValid(std::string_view s, std::size_t i, std::size_t len)
{
    const auto b = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(s[i + k])); };
    switch (len) {
    case 1: return b(0);
    case 2: return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    case 3: return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    default: return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
    }
}

bool isWhiteSpace(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680
        || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F
        || c == 0x3000;
}

// Converts with glibc iconv; `unit` is how many input bytes a malformed
// sequence skips (2 for UTF-16 so the rest stays aligned).
std::string iconvToUtf8(const char *fromCode, std::string_view in, std::size_t unit)
{
    iconv_t cd = iconv_open("UTF-8", fromCode);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    struct Closer {
        iconv_t cd;
        ~Closer() { iconv_close(cd); }
    } closer{cd};

    std::string out;
    out.resize(in.size() * 2 + 16);
    char *inPtr = const_cast<char *>(in.data());
    std::size_t inLeft = in.size();
    std::size_t used = 0;
    while (inLeft > 0) {
        if (out.size() - used < 16)
            out.resize(out.size() * 2);
        char *outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        used = out.size() - outLeft;
        if (rc != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else if (errno == EILSEQ || errno == EINVAL) {
            // EINVAL: truncated sequence at the very end of the input.
            if (out.size() - used < kReplacement.size())
                out.resize(out.size() * 2);
            out.replace(used, kReplacement.size(), kReplacement);
            used += kReplacement.size();
            const std::size_t skip = std::min(unit, inLeft);
            inPtr += skip;
            inLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        } else {
            return {};
        }
    }
    out.resize(used);
    return out;
}

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

bool isValidUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t len = utf8SequenceLength(s, i);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

std::string sanitizeUtf8(std::string_view s)
{
    std::string out;
    out.reserve(s.size() + 8);
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = utf8SequenceLength(s, i);
        if (len == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(s.data() + i, len);
            i += len;
        }
    }
    return out;
}

std::string_view trimUnicode(std::string_view s)
{
    // Callers pass valid UTF-8.
    std::size_t begin = 0;
    while (begin < s.size()) {
        const std::size_t len = utf8SequenceLength(s, begin);
        if (len == 0 || !isWhiteSpace(decodeValid(s, begin, len)))
            break;
        begin += len;
    }
    std::size_t end = s.size();
    while (end > begin) {
        std::size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80 && end - start < 4)
            --start;
        const std::size_t len = utf8SequenceLength(s, start);
        if (len != end - start || !isWhiteSpace(decodeValid(s, start, len)))
            break;
        end = start;
    }
    return s.substr(begin, end - begin);
}

std::string decodeText(std::string_view bytes)
{
    constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (isValidUtf8(bytes)) {
        // The BOM would otherwise stick to the first cell.
        if (startsWith(bytes, bom))
            bytes.remove_prefix(bom.size());
        return std::string(bytes);
    }
    if (bytes.size() >= 3 && startsWith(bytes, bom))
        return sanitizeUtf8(bytes.substr(3));
    if (startsWith(bytes, "\xFF\xFE"))
        return iconvToUtf8("UTF-16LE", bytes.substr(2), 2);
    if (startsWith(bytes, "\xFE\xFF"))
        return iconvToUtf8("UTF-16BE", bytes.substr(2), 2);
    return iconvToUtf8("WINDOWS-1254", bytes, 1);
}

} // namespace corvina::tableparser
