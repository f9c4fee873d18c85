#pragma once

#include "base/error.h"

namespace varnel {

// The one error kind of the database gateway. The message is what the user is shown after
// "Ошибка подключения к базе данных!\n": the database's or driver's own text, never a
// translation of it. Handlers that expect database failures catch this kind only.
class DbError : public Error {
public:
    using Error::Error;
};

// A call that the user stopped (the progress window's Cancel). It is no failure: nothing is
// shown for it but «Отменено», and whatever the call was doing is undone or was never done.
class Cancelled : public Error {
public:
    Cancelled() : Error(QStringLiteral("Отменено")) {}
};

} // namespace varnel
