#include "features/quicklinks/QuicklinkLibrary.h"

namespace vantrel {

const std::vector<LibraryQuicklink>& quicklinkLibrary() {
    static const std::vector<LibraryQuicklink> library{
        {QStringLiteral("Search Google Images"), QStringLiteral("https://www.google.com/search?tbm=isch&q={Query}")},
        {QStringLiteral("Search Wikipedia"), QStringLiteral("https://en.wikipedia.org/w/index.php?search={Query}")},
        {QStringLiteral("Search Hacker News"), QStringLiteral("https://hn.algolia.com/?q={Query}")},
        {QStringLiteral("Search DuckDuckGo"), QStringLiteral("https://duckduckgo.com/?q={Query}")},
        {QStringLiteral("Search Stack Overflow"), QStringLiteral("https://stackoverflow.com/search?q={Query}")},
        {QStringLiteral("Search YouTube"), QStringLiteral("https://www.youtube.com/results?search_query={Query}")},
        {QStringLiteral("Search Unsplash"), QStringLiteral("https://unsplash.com/s/photos/{Query}")},
        {QStringLiteral("Search Twitter"), QStringLiteral("https://twitter.com/search?q={Query}")},
        {QStringLiteral("Search Dribbble"), QStringLiteral("https://dribbble.com/search/{Query}")},
        {QStringLiteral("Search Giphy"), QStringLiteral("https://giphy.com/search/{Query}")},
    };
    return library;
}

}  // namespace vantrel
