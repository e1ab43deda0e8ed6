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
// character sets 82, 39 and 64, mod-10 check digits, dates YYMMDD (day 00 where allowed),
// numeric country codes.
std::string gs1FieldError(std::string_view identifier, std::string_view data);

// Whether the identifier (2 to 4 digits) is assigned.
bool gs1IdentifierAssigned(std::string_view identifier);

// Why identifiers that are each sound cannot stand together (a repeated identifier with other
// data, (01) with (02), (02) without (37), ...), naming both; empty when they can. The
// identifiers and their data in the order given.
std::string gs1PairingError(const std::vector<std::pair<std::string, std::string>>& fields);

}  // namespace dm
