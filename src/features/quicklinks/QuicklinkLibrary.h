#pragma once

#include <QString>

#include <vector>

namespace vantrel {

// A ready-made quicklink the preferences offer.
struct LibraryQuicklink {
    QString name;
    QString link;
};

// Searches of well-known sites, each with "{Query}" as its placeholder.
const std::vector<LibraryQuicklink>& quicklinkLibrary();

}  // namespace vantrel
