#include "core/commands/LinkDetector.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace vantrel {

namespace {

// Generic domains in common use, then every two-letter country code (with
// "ac", "eu" and "uk").
const QSet<QString>& knownTopLevelDomains() {
    static const QSet<QString> domains = [] {
        static const char* const generic[] = {
            "com",  "net",  "org",  "edu",    "gov",    "mil",     "int",     "info",     "biz",     "name",
            "pro",  "aero", "coop", "museum", "mobi",   "travel",  "jobs",    "tel",      "asia",    "cat",
            "post", "app",  "dev",  "xyz",    "online", "site",    "tech",    "store",    "blog",    "cloud",
            "page", "shop", "top",  "club",   "news",   "live",    "design",  "art",      "wiki",    "email",
            "io",   "ai",   "tv",   "me",     "co",     "digital", "network", "software", "systems", "website",
        };
        static const char* const countries =
            "ac ad ae af ag ai al am ao aq ar as at au aw ax az ba bb bd be bf bg bh bi bj bl bm bn bo bq br bs bt bv "
            "bw by bz ca cc cd cf cg ch ci ck cl cm cn co cr cu cv cw cx cy cz de dj dk dm do dz ec ee eg eh er es et "
            "eu fi fj fk fm fo fr ga gb gd ge gf gg gh gi gl gm gn gp gq gr gs gt gu gw gy hk hm hn hr ht hu id ie il "
            "im in io iq ir is it je jm jo jp ke kg kh ki km kn kp kr kw ky kz la lb lc li lk lr ls lt lu lv ly ma mc "
            "md me mf mg mh mk ml mm mn mo mp mq mr ms mt mu mv mw mx my mz na nc ne nf ng ni nl no np nr nu nz om pa "
            "pe pf pg ph pk pl pm pn pr ps pt pw py qa re ro rs ru rw sa sb sc sd se sg sh si sj sk sl sm sn so sr ss "
            "st sv sx sy sz tc td tf tg th tj tk tl tm tn to tr tt tv tw tz ua ug uk um us uy uz va vc ve vg vi vn vu "
            "wf ws ye yt za zm zw";
        QSet<QString> set;
        for (const char* domain : generic) set.insert(QString::fromLatin1(domain));
        for (const QString& code : QString::fromLatin1(countries).split(QLatin1Char(' '), Qt::SkipEmptyParts))
            set.insert(code);
        return set;
    }();
    return domains;
}

// Country codes that are far more often file extensions ("readme.md",
// "setup.py", "main.rs", "install.sh", "libfoo.so", "main.cc", "page.ps").
const QSet<QString>& fileExtensionLikeDomains() {
    static const QSet<QString> domains{QStringLiteral("md"), QStringLiteral("py"), QStringLiteral("rs"),
                                       QStringLiteral("sh"), QStringLiteral("so"), QStringLiteral("cc"),
                                       QStringLiteral("ps")};
    return domains;
}

const QRegularExpression& schemePattern() {
    static const QRegularExpression pattern(
        QStringLiteral(R"((?<![A-Za-z0-9+.\-])[A-Za-z][A-Za-z0-9+.\-]*://[^\s<>"]+)"));
    return pattern;
}

// Group 1: the host, 2: its top-level domain, 3: the port, 4: path, query and
// fragment. A host may not follow or precede a word character, "@", "." or
// "-", which keeps e-mail addresses and parts of longer words out.
const QRegularExpression& hostPattern() {
    static const QRegularExpression pattern(
        QStringLiteral(
            R"((?<![\w@.\-])((?:[a-z0-9](?:[a-z0-9\-]*[a-z0-9])?\.)+([a-z]{2,63}))(?![\w\-@])(?::(\d{1,5})(?!\w))?((?:[/?#][^\s<>"]*)?))"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

// Drops sentence punctuation and closing brackets without an opening one from
// the end of a link.
qsizetype trimmedLength(QStringView link, qsizetype minimum) {
    qsizetype length = link.size();
    while (length > minimum) {
        const QChar last = link[length - 1];
        if (QStringLiteral(".,;:!?'\"").contains(last)) {
            --length;
            continue;
        }
        const QChar opening = last == QLatin1Char(')')   ? QLatin1Char('(')
                              : last == QLatin1Char(']') ? QLatin1Char('[')
                              : last == QLatin1Char('}') ? QLatin1Char('{')
                                                         : QChar();
        if (opening.isNull()) break;
        const QStringView body = link.first(length);
        if (body.count(opening) >= body.count(last)) break;
        --length;
    }
    return length;
}

bool overlaps(const std::vector<DetectedLink>& links, qsizetype start, qsizetype end) {
    return std::any_of(links.begin(), links.end(),
                       [&](const DetectedLink& link) { return start < link.start + link.length && link.start < end; });
}

}  // namespace

bool LinkDetector::isKnownTopLevelDomain(QStringView topLevelDomain) {
    return knownTopLevelDomains().contains(topLevelDomain.toString().toLower());
}

std::vector<DetectedLink> LinkDetector::links(const QString& text) {
    std::vector<DetectedLink> found;

    auto schemes = schemePattern().globalMatch(text);
    while (schemes.hasNext()) {
        const QRegularExpressionMatch match = schemes.next();
        const QStringView link = match.capturedView(0);
        const qsizetype afterScheme = link.indexOf(QStringLiteral("://")) + 3;
        const qsizetype length = trimmedLength(link, afterScheme);
        if (length <= afterScheme) continue;
        found.push_back({match.capturedStart(0), length, link.first(length).toString()});
    }

    std::vector<DetectedLink> hosts;
    auto candidates = hostPattern().globalMatch(text);
    while (candidates.hasNext()) {
        const QRegularExpressionMatch match = candidates.next();
        const QString host = match.captured(1).toLower();
        const QString topLevelDomain = match.captured(2).toLower();
        const bool hasPort = match.capturedLength(3) > 0;
        const bool isWWW = host.startsWith(QStringLiteral("www.")) && host.count(QLatin1Char('.')) >= 2;
        if (!isWWW && !knownTopLevelDomains().contains(topLevelDomain)) continue;

        const qsizetype hostLength = match.capturedEnd(hasPort ? 3 : 1) - match.capturedStart(0);
        const qsizetype length = trimmedLength(match.capturedView(0), hostLength);
        const bool hasPath = length > hostLength;
        if (!isWWW && !hasPort && !hasPath && host.count(QLatin1Char('.')) == 1 &&
            fileExtensionLikeDomains().contains(topLevelDomain))
            continue;

        const qsizetype start = match.capturedStart(0);
        if (overlaps(found, start, start + length)) continue;
        hosts.push_back({start, length, text.mid(start, length)});
    }

    found.insert(found.end(), hosts.begin(), hosts.end());
    std::sort(found.begin(), found.end(),
              [](const DetectedLink& a, const DetectedLink& b) { return a.start < b.start; });
    return found;
}

bool LinkDetector::containsLink(const QString& text) {
    return !links(text).empty();
}

}  // namespace vantrel
