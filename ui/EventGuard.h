#pragma once

#include "UserDialogs.h"

#include <QString>

#include <exception>
#include <type_traits>
#include <utility>

// Runs an event handler so that no exception crosses the event loop: an error that leaves the
// handler ends it and is shown in the standard error box.
template <typename Handler>
void runGuarded(Handler&& handler)
{
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& error) {
        showStandardError(QString::fromUtf8(error.what()));
    }
}

// The slot form: connect(button, &QPushButton::clicked, this, guarded([this] { Click(); })).
// The handler gets the signal's arguments when it takes them.
template <typename Handler>
auto guarded(Handler handler)
{
    return [handler = std::move(handler)](auto&&... arguments) {
        runGuarded([&] {
            if constexpr (std::is_invocable_v<const Handler&, decltype(arguments)...>)
                handler(std::forward<decltype(arguments)>(arguments)...);
            else
                handler();
        });
    };
}
