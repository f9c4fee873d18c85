#pragma once

#include "ui/core/prompts.h"

#include <functional>

namespace varnel {

// The message of the exception being handled; call only inside a catch block. Any kind of
// error gives a text: the program's own, a standard one, or an unknown one.
QString messageOfCurrentError();

// Shows an error that no step of an event caught: the default error display with the
// full-stop rule applied.
void showDefaultError(Prompts& prompts, const QString& message);

// Runs a handler that the toolkit calls. No exception may cross Qt's event loop: one that the
// handler does not catch ends the handler here and reaches the default error display, and
// the program carries on.
void runGuarded(Prompts& prompts, const std::function<void()>& handler);

// The handler wrapped for a connect(): `connect(button, &QPushButton::clicked, this,
// guarded(prompts, [this] { onSelectClicked(); }))`.
template <class Handler> auto guarded(Prompts& prompts, Handler handler)
{
    return [&prompts, handler = std::move(handler)]() {
        runGuarded(prompts, handler);
    };
}

} // namespace varnel
