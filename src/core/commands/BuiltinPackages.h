#pragma once

#include "core/commands/CommandModel.h"

#include <memory>
#include <vector>

namespace vantrel {

// The built-in packages in registration order, with their commands and
// fallback searches; the debug package last, only with the development flag.
// Their commands reach their package through `registry`.
std::vector<std::shared_ptr<const VantrelPackage>> makeBuiltinPackages(const PackageRegistry* registry,
                                                                       bool developmentFlag);

// "createQuicklinkWithURL": carries the package id "default" but is not in
// that package's list; only the URL provider offers it.
std::shared_ptr<const VantrelCommand> makeCreateQuicklinkWithURLCommand(const PackageRegistry* registry);

// The package ids whose commands are built from their own data and handed to
// the registry later.
const QStringList& packagesWithOwnCommandData();

}  // namespace vantrel
