#include "guard.h"

#include "db/error.h"
#include "ui/errortext.h"

#include <new>

namespace varnel {

void showDefaultError(Prompts& prompts, const QString& message)
{
    prompts.showError(withFullStop(message));
}

void runGuarded(Prompts& prompts, const std::function<void()>& handler)
{
    // The box is shown after the catch: its nested event loop must not run inside a handler
    // that still holds the exception.
    QString message;
    try {
        handler();
        return;
    } catch (const Error& e) {
        message = e.message();
    } catch (const std::bad_alloc&) {
        message = QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        message = QString::fromLocal8Bit(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error");
    }
    showDefaultError(prompts, message);
}

} // namespace varnel
