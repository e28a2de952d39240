// The trace family's own report texts, each kept only here.  All go out
// through errlog_t with tag "quorvel".
#pragma once

namespace quorvel::detail {

inline constexpr const char kRouteNullText[] =
    "AddDebugInfoRoute() route cannot be NULL, you may want to call DelDebugInfoRoute() !!";
inline constexpr const char kRouteSetBeforeText[] = "AddDebugInfoRoute() route was set before !!";
inline constexpr const char kRouteArrayFullText[] = "AddDebugInfoRoute() route array is full !!";
inline constexpr const char kRouteNotFoundText[] = "DelDebugInfoRoute() route is not found !!";

}  // namespace quorvel::detail
