#include "maintain/logexport.h"

#include "db/localetext.h"
#include "db/statementslot.h"
#include "maintain/memoexport.h"

#include <array>

namespace varnel {

namespace {

// How often the export reports its progress: rarely enough to cost nothing, often enough for
// a window to count smoothly.
constexpr int64_t kProgressEvery = 256;

const std::array<QString, 5>& recordLineColumns()
{
    static const std::array<QString, 5> names = {
        QStringLiteral("ddate"), QStringLiteral("stable"), QStringLiteral("saction"),
        QStringLiteral("schanges"), QStringLiteral("suser_info")};
    return names;
}

} // namespace

void exportLog(StatementSlot& slot, const QString& statement, MemoExport& memo,
               const ExportHooks& hooks)
{
    const LocaleText locale = LocaleText::current();
    slot.close();
    slot.clearText();
    slot.setText(statement);
    memo.append(u"-- Varnel 1.0.0. Unload Logs.");
    memo.append(u"");
    memo.append(QStringLiteral("-- ") + slot.getText());
    memo.append(QStringLiteral("-- Begin - ") + locale.timeStamp(hooks.now()));

    slot.open();
    slot.first();
    const auto& columns = recordLineColumns();
    std::array<QString, 5> texts;
    int64_t records = 0;
    while (!slot.atEnd()) {
        for (size_t i = 0; i < columns.size(); ++i)
            texts[i] = slot.field(columns[i]).displayText();
        memo.appendJoined(texts, " - ");
        slot.next();
        if (++records % kProgressEvery == 0 && hooks.progress)
            hooks.progress(records);
    }
    if (hooks.progress)
        hooks.progress(records);
    memo.append(QStringLiteral("-- End - ") + locale.timeStamp(hooks.now()));
}

} // namespace varnel
