#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dm {

// Why the data of a GS1 element string breaks its identifier's rules, in a sentence that names
// the identifier, the field and the rule ("(01) GTIN 09501101530004: the check digit is 4, the
// other digits give 3"); empty when the data is sound. The rules are those of the GS1 General
// Specifications for each assigned identifier: fixed and variable lengths, digits or the
// character sets 82, 39 and 64, mod-10 check digits and the check character pair of a GMN,
// dates YYMMDD (day 00 where allowed) and YYYYMMDD, times, ISO 3166 country codes (numeric and
// alpha-2), ISO 4217 currency codes, IBANs, coordinates and the smaller value rules.
std::string gs1FieldError(std::string_view identifier, std::string_view data);

// The year a two-digit year YY of a GS1 date stands for, seen from the year `today`: the
// nearest that is at most 49 years back or 50 ahead (in 2026, 76 is 2076 and 77 is 1977).
int gs1FullYear(int yy, int today);

// Whether the identifier (2 to 4 digits) is assigned.
bool gs1IdentifierAssigned(std::string_view identifier);

// Why identifiers that are each sound cannot stand together, naming both; empty when they
// can: a repeated identifier with other data, a quantity with two decimal point positions, an
// invalid pair ((01) with (02), (420) with (421), ...), an attribute without the key it
// belongs to ((10) without (01), (02), (8006) or (8026), (02) without (37), ...), a price of a
// variable measure trade item beside a GTIN that does not start with 9. The identifiers and
// their data in the order given.
std::string gs1PairingError(const std::vector<std::pair<std::string, std::string>>& fields);

}  // namespace dm
