#include "platform/freedesktop/FreedesktopPlatform.h"

#include "platform/freedesktop/ApplicationsSource.h"
#include "platform/freedesktop/AtSpiFocus.h"
#include "platform/freedesktop/AtSpiMenus.h"
#include "platform/freedesktop/DesktopLauncher.h"
#include "platform/freedesktop/EvolutionDataStore.h"
#include "platform/freedesktop/FreedesktopColorScheme.h"
#include "platform/freedesktop/FreedesktopFileManager.h"
#include "platform/freedesktop/FreedesktopSystemActions.h"
#include "search/DataSource.h"

namespace vantrel {

Platform freedesktopPlatform() {
    Platform platform;
    platform.desktop = std::make_shared<GioDesktopServices>();
    platform.system = std::make_shared<FreedesktopSystemActions>();
    platform.colorScheme = std::make_shared<FreedesktopColorScheme>();
    platform.fileManager = std::make_shared<FreedesktopFileManager>();
    platform.makeApplicationsSource = [](const UserDefaults& defaults) -> std::shared_ptr<DataSource> {
        return makeApplicationsSource(defaults);
    };
    platform.makeAccessibleFocus = []() -> std::shared_ptr<AccessibleFocus> { return std::make_shared<AtSpiFocus>(); };
    platform.makeApplicationMenus = []() -> std::shared_ptr<ApplicationMenus> { return std::make_shared<AtSpiMenus>(); };
    platform.personalData = []() -> std::shared_ptr<PersonalDataStore> { return EvolutionDataStore::shared(); };
    platform.notify = [](const QString& summary, const QString& body, QString* problem) {
        return showDesktopNotification(summary, body, problem);
    };
    return platform;
}

}  // namespace vantrel
