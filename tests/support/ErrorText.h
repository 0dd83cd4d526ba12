#pragma once

#include <QString>

#include <exception>

// What an action raises, as the user would read it; empty when it raises nothing. Lets a test
// compare an error's exact wording with QCOMPARE.
template <typename Action> QString errorText(Action&& action)
{
    try {
        action();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}
