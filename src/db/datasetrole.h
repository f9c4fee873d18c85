#pragma once

#include <cstddef>

namespace varnel {

// The eight statement datasets of the log database, by what each holds. The order is that of
// LogDatabase's array of datasets and of their object names.
enum class DatasetRole {
    Main,       // ADOQueryMain: main log query
    Table,      // ADOQueryTable
    Action,     // ADOQueryAction
    OracleUser, // ADOQueryOracleUser
    PC,         // ADOQueryPC
    OSUser,     // ADOQueryOSUser
    Command,    // ADOQueryCreateTable: statements without rows (creation, period deletion)
    Export,     // ADOQuerySaveLog: export
};

inline constexpr std::size_t roleIndex(DatasetRole role)
{
    return static_cast<std::size_t>(role);
}
// Export is the last role.
inline constexpr std::size_t kDatasetRoleCount = roleIndex(DatasetRole::Export) + 1;

} // namespace varnel
