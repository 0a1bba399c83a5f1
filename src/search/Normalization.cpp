#include "search/Normalization.h"

#include <QTextBoundaryFinder>

#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utypes.h>

#include <memory>
#include <mutex>

namespace vantrel {
namespace {

constexpr const char16_t* kTransformId = u"Any-Latin; Latin-ASCII; Any-Lower";

icu::UnicodeString toIcu(const QString& text) {
    return icu::UnicodeString(reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()));
}

QString fromIcu(const icu::UnicodeString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

bool isAscii(const QString& text) {
    for (const QChar ch : text)
        if (ch.unicode() > 0x7F) return false;
    return true;
}

// The prototype transliterator, created once. ICU transliterators keep state
// while they run, so every thread transliterates with a clone of its own;
// cloning itself is serialised.
struct TransliteratorPrototype {
    std::mutex cloneMutex;
    std::unique_ptr<icu::Transliterator> prototype;

    TransliteratorPrototype() {
        UErrorCode status = U_ZERO_ERROR;
        prototype.reset(icu::Transliterator::createInstance(icu::UnicodeString(kTransformId), UTRANS_FORWARD, status));
        if (U_FAILURE(status)) prototype.reset();
    }

    std::unique_ptr<icu::Transliterator> clone() {
        if (!prototype) return nullptr;
        std::lock_guard lock(cloneMutex);
        return std::unique_ptr<icu::Transliterator>(prototype->clone());
    }
};

TransliteratorPrototype& sharedPrototype() {
    static TransliteratorPrototype instance;
    return instance;
}

icu::Transliterator* threadTransliterator() {
    thread_local std::unique_ptr<icu::Transliterator> transliterator = sharedPrototype().clone();
    return transliterator.get();
}

bool isWidthVariant(UChar32 c) {
    const auto type = static_cast<UDecompositionType>(u_getIntPropertyValue(c, UCHAR_DECOMPOSITION_TYPE));
    return type == U_DT_WIDE || type == U_DT_NARROW;
}

bool isDroppedMark(UChar32 c) {
    return u_charType(c) == U_NON_SPACING_MARK && u_hasBinaryProperty(c, UCHAR_DIACRITIC);
}

}  // namespace

namespace detail {

QString transliterateForSearch(const QString& text) {
    icu::Transliterator* transliterator = threadTransliterator();
    if (!transliterator) return text;
    icu::UnicodeString buffer = toIcu(text);
    transliterator->transliterate(buffer);
    return fromIcu(buffer);
}

}  // namespace detail

QString normalizedForSearch(const QString& text) {
    if (text.isEmpty()) return text;
    // ASCII is already Latin and already ASCII: only the lower-casing step
    // changes it, and that is cheap to do here.
    if (isAscii(text)) {
        QString lowered = text;
        for (QChar& ch : lowered)
            if (ch.unicode() >= u'A' && ch.unicode() <= u'Z') ch = QChar(ch.unicode() + (u'a' - u'A'));
        return lowered;
    }
    return detail::transliterateForSearch(text);
}

QString foldedForSearchKeys(const QString& text) {
    if (isAscii(text)) return text;

    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(status);
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return text;

    // Width: replace wide and narrow forms by their compatibility mapping.
    const icu::UnicodeString source = toIcu(text);
    icu::UnicodeString widthFolded;
    for (int32_t i = 0; i < source.length();) {
        const UChar32 c = source.char32At(i);
        icu::UnicodeString mapping;
        if (isWidthVariant(c) && nfkc->getRawDecomposition(c, mapping))
            widthFolded.append(mapping);
        else
            widthFolded.append(c);
        i += U16_LENGTH(c);
    }

    // Diacritics: decompose, drop the marks, recompose.
    const icu::UnicodeString decomposed = nfd->normalize(widthFolded, status);
    if (U_FAILURE(status)) return text;
    icu::UnicodeString stripped;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        if (!isDroppedMark(c)) stripped.append(c);
        i += U16_LENGTH(c);
    }
    const icu::UnicodeString composed = nfc->normalize(stripped, status);
    if (U_FAILURE(status)) return text;
    return fromIcu(composed);
}

QStringList graphemeClusters(const QString& text) {
    QStringList clusters;
    if (text.isEmpty()) return clusters;
    if (isAscii(text)) {
        // In ASCII only "\r\n" spans more than one character.
        clusters.reserve(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                clusters.append(text.mid(i, 2));
                ++i;
            } else {
                clusters.append(QString(text[i]));
            }
        }
        return clusters;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
        if (end > start) clusters.append(text.mid(start, end - start));
        start = end;
    }
    return clusters;
}

qint64 letterMask(const QString& text) {
    // Only scalars 97...160 count. Those are single UTF-16 units, and no unit of
    // a surrogate pair falls in that window, so walking units is the same as
    // walking scalars.
    quint64 mask = 0;
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c >= 97 && c <= 97 + 63) mask |= quint64(1) << (c - 97);
    }
    return static_cast<qint64>(mask);
}

}  // namespace vantrel
