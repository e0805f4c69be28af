#pragma once

#include <string>

#include "pages/identity/identity_store.h"

namespace halvek {

namespace identitytext {
// Rev-Id page.
inline constexpr const char* kRevisionGroup = "Program Revision: ";
inline constexpr const char* kGetRevision = "Get Revision";
inline constexpr const char* kSystemIdGroup = "System Id";
inline constexpr const char* kGetAsset = "Get Asset Nr";
inline constexpr const char* kGetSystemId = "Get Sys Id";
inline constexpr const char* kSetSystemId = "Set Sys Id";
inline constexpr const char* kAssetInitial = "000000000000";
inline constexpr const char* kSystemIdInitial = "0000";
// Factory page.
inline constexpr const char* kFactoryGroup = "Factory Settings :";
inline constexpr const char* kSetFactNum = "set fact num";
inline constexpr const char* kGetFactNum = "get fact num";
inline constexpr const char* kSetProdDate = "set prod date";
inline constexpr const char* kGetProdDate = "get prod date";
inline constexpr const char* kGetBurnCycle = "get burn cycle";
inline constexpr const char* kWeek = "wk";
inline constexpr const char* kYear = "yr";
inline constexpr const char* kFactNumInitial = "0000";
inline constexpr const char* kProdDateInitial = "wk 01/of 00";
inline constexpr const char* kBurnCyclesInitial = "0";
inline constexpr const char* kBurnOnlyExtended = "Command available in Q7E ( extended ) mode only";
}  // namespace identitytext

// The bounds of the entries.
inline constexpr uint32_t kIdMax = 9999, kWeekMin = 1, kWeekMax = 52, kYearMax = 99;

// The displays, from the stores: BCD digits read as hexadecimal byte pairs.
std::string revisionText(const IdentityStore& id);
std::string systemIdText(const IdentityStore& id);
std::string assetNumberText(const IdentityStore& id);
std::string factoryNumberText(const IdentityStore& id);
std::string productionDateText(const IdentityStore& id);
std::string burnCyclesText(const IdentityStore& id);

// The week and two-digit year the production date entries start from. The
// week is the day of the year divided by 7, rounded up, and never beyond the
// 52 the entry accepts (the last days of a year would make it 53).
struct WeekPreset {
    uint32_t week;
    uint32_t year;
};
WeekPreset weekPreset(int year, int month, int day);

}  // namespace halvek
