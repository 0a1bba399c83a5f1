#pragma once

#include <QString>

namespace vantrel {

// Where extension packages, the command API script and the templates live.
namespace ExtensionPaths {

// Paths::dataDir()/extensions: every installed and development package.
QString extensionsDir();

// The application's resources: $VANTREL_RESOURCES_DIR when set; otherwise
// <executable dir>/../share/vantrel when it holds an "api" folder; otherwise
// the source tree's resources folder this build was made from.
QString resourcesDir();
// resourcesDir()/api: "index.js" (run before every command) and the types
// templates reference.
QString apiDir();
// resourcesDir()/api/index.js
QString apiScript();
// resourcesDir()/templates: one sub-folder per template, named by its identifier.
QString templatesDir();

}  // namespace ExtensionPaths

}  // namespace vantrel
