#pragma once

#include "platform/ColorScheme.h"

#include <QCoreApplication>
#include <QTimer>

namespace vantrel {

// A desktop colour scheme in memory: answers what the test set, from the
// event loop as the desktop's would, and counts how often it was asked.
class FakeColorSchemeSource : public ColorSchemeSource {
public:
    explicit FakeColorSchemeSource(std::optional<ColorScheme> scheme = std::nullopt) : scheme(scheme) {}

    void requestColorScheme(Answer answer) override {
        ++questions;
        const std::optional<ColorScheme> stated = scheme;
        QTimer::singleShot(0, QCoreApplication::instance(), [answer = std::move(answer), stated] { answer(stated); });
    }

    std::optional<ColorScheme> scheme;
    int questions = 0;
};

}  // namespace vantrel
