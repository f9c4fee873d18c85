#include "ui/core/guard.h"

#include "db/dberror.h"
#include "ui/core/errortext.h"

#include <new>

namespace varnel {

void showDefaultError(Prompts& prompts, const QString& message)
{
    prompts.showError(withFullStop(message));
}

QString messageOfCurrentError()
{
    try {
        throw;
    } catch (const Error& e) {
        return e.message();
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void runGuarded(Prompts& prompts, const std::function<void()>& handler)
{
    // The box is shown after the catch: its nested event loop must not run inside a handler
    // that still holds the exception.
    QString message;
    try {
        handler();
        return;
    } catch (const Cancelled& cancelled) {
        // The user stopped it: no error, and whatever it was doing is undone.
        prompts.status(cancelled.message());
        return;
    } catch (...) {
        message = messageOfCurrentError();
    }
    showDefaultError(prompts, message);
}

} // namespace varnel
