// Global hotkeys: the key table, and taking and releasing a grab on the X
// server (every lock variant of one combination). Needs $DISPLAY; run it inside
// scripts/test-session --run.
#include "kit/KeyCombination.h"
#include "kit/VantrelError.h"
#include "platform/x11/X11HotkeyManager.h"
#include "platform/x11/X11KeySymbols.h"

#include <QByteArray>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace vantrel;

void BM_HotkeysStoredFormToKeysym(benchmark::State& state) {
    const QString stored = QStringLiteral("Shift-Control-Option-Command-40");
    for (auto _ : state) {
        const auto combination = KeyCombination::fromPersistentString(stored);
        benchmark::DoNotOptimize(X11KeySymbols::keysym(*combination));
        benchmark::DoNotOptimize(X11KeySymbols::modifierMask(combination->modifierKeys));
    }
}
BENCHMARK(BM_HotkeysStoredFormToKeysym);

std::unique_ptr<X11HotkeyManager> connectedManager(benchmark::State& state) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("needs an X display");
        return nullptr;
    }
    try {
        return std::make_unique<X11HotkeyManager>();
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return nullptr;
    }
}

// One registration as the launcher makes it: every lock variant grabbed and
// checked, then released.
void BM_HotkeysRegisterAndUnregister(benchmark::State& state) {
    const auto manager = connectedManager(state);
    if (!manager) return;
    const KeyCombination combination = *KeyCombination::fromPersistentString(QStringLiteral("Shift-Control-Option-40"));
    for (auto _ : state) {
        const HotkeyRegistrationId id = manager->observeKeyCombination(combination, [] { return true; });
        manager->unregister(id);
    }
}
BENCHMARK(BM_HotkeysRegisterAndUnregister)->Unit(benchmark::kMicrosecond);

// Replacing a set of per-item hotkeys, as a reload does.
void BM_HotkeysReplaceItemSet(benchmark::State& state) {
    const auto manager = connectedManager(state);
    if (!manager) return;
    const char* stored[] = {"Shift-Control-Option-0", "Shift-Control-Option-1", "Shift-Control-Option-2",
                            "Shift-Control-Option-3", "Shift-Control-Option-5", "Shift-Control-Option-4",
                            "Shift-Control-Option-6", "Shift-Control-Option-7", "Shift-Control-Option-8",
                            "Shift-Control-Option-9"};
    std::vector<HotkeyRegistrationId> ids;
    for (auto _ : state) {
        for (HotkeyRegistrationId id : ids) manager->unregister(id);
        ids.clear();
        for (const char* text : stored)
            ids.push_back(manager->observeKeyCombination(
                *KeyCombination::fromPersistentString(QString::fromLatin1(text)), [] { return true; }));
    }
    for (HotkeyRegistrationId id : ids) manager->unregister(id);
}
BENCHMARK(BM_HotkeysReplaceItemSet)->Unit(benchmark::kMicrosecond);

}  // namespace
