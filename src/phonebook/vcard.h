#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "phonebook/contacts.h"

namespace puolukka {

// vCard files as phones and address books write them: 2.1, 3.0 (RFC 2426) and
// 4.0 (RFC 6350). Read: folded lines, QUOTED-PRINTABLE with soft line breaks
// and CHARSET of 2.1, escaped characters, TYPE given as 2.1 words
// (TEL;CELL;HOME), lists (TYPE=cell,voice) or quoted lists, "tel:" URIs of 4.0.
// The name is FN, else N (given, additional, family), else ORG. Every TEL is a
// number with the kind its TYPE names. Cards without a name and a number are left out.
std::vector<Contact> parseVCards(std::string_view fileBytes);

// vCard 3.0, UTF-8, CR LF: one card a contact with FN, N (the whole name as the
// given name: a phonebook name does not say which part is the family name) and
// a TEL for each number. Text is escaped and lines are folded at 75 bytes
// (never inside a character), as RFC 2425 5.8.1 asks.
std::string writeVCards(const std::vector<Contact>& contacts);

}  // namespace puolukka
