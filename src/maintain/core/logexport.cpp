#include "maintain/core/logexport.h"

#include "base/localetext.h"
#include "db/call.h"
#include "db/dataset.h"
#include "maintain/core/memoexport.h"

#include <array>

namespace varnel {

namespace {

// How often the export counts and looks for a cancel: rarely enough to cost nothing, often
// enough for a window to count smoothly and a cancel to stop at once.
constexpr int64_t kProgressEvery = 256;

const std::array<QString, 5>& recordLineColumns()
{
    static const std::array<QString, 5> names = {
        QStringLiteral("ddate"), QStringLiteral("stable"), QStringLiteral("saction"),
        QStringLiteral("schanges"), QStringLiteral("suser_info")};
    return names;
}

} // namespace

void exportLog(Dataset& dataset, const QString& statement, MemoExport& memo,
               const LocaleText& locale, const ExportHooks& hooks)
{
    dataset.setText(statement);
    memo.append(u"-- Varnel 1.0.0. Unload Logs.");
    memo.append(u"");
    memo.append(QStringLiteral("-- ") + dataset.getText());
    memo.append(QStringLiteral("-- Begin - ") + locale.timeStamp(hooks.now()));

    dataset.open(hooks.waitTitle);
    dataset.first();
    const auto lines = [&](Call* call) {
        const auto& columns = recordLineColumns();
        std::array<QString, 5> texts;
        int64_t records = 0;
        while (!dataset.atEnd()) {
            for (size_t i = 0; i < columns.size(); ++i)
                texts[i] = dataset.field(columns[i]).displayText();
            memo.appendJoined(texts, " - ");
            dataset.next();
            if (++records % kProgressEvery == 0 && call) {
                call->setCount(records);
                call->checkCancelled();
            }
        }
        if (call)
            call->setCount(records);
    };
    if (hooks.work)
        hooks.work([&](Call& call) { lines(&call); });
    else
        lines(nullptr);
    memo.append(QStringLiteral("-- End - ") + locale.timeStamp(hooks.now()));
}

} // namespace varnel
