#pragma once

#include <QString>

namespace vantrel {

class FeatureContext;

// One feature of the launcher (script commands, applications, clipboard
// history…): a folder under features/ with one class deriving from this.
//
// The feature brings everything it adds through the context the core hands it
// (its commands' behaviour, data sources, providers, views, preference pages,
// links and command-line subcommands); root search, the window, the link
// router and the command line only ask the context and never name a feature.
// Features are listed once, in features/FEATURES.
class Feature {
public:
    virtual ~Feature() = default;

    // A short stable name ("scripts"): log lines and the folder's name.
    virtual QString name() const = 0;

    // Registers what the feature brings. Called once on the main thread, after
    // the database, the package registry and root search exist and before the
    // data sources load. Nothing may block here.
    virtual void registerWith(FeatureContext& context) = 0;

    // Starts background work (watchers, schedulers) once every feature has
    // registered: only in the running launcher, never in a one-shot command.
    virtual void start() {}
};

}  // namespace vantrel
