// Wildcard matching of archive member names against file-list patterns.
//
// Letter case (ASCII A-Z) is ignored. "*" matches any run of characters,
// "?" exactly one; "<...>" is a set matching one character (items are single
// characters or ranges c-d; "<!...>" or "<^...>" negates); "*<...>" is a star
// that may skip only characters of the set (or, negated, only characters
// outside it). Square brackets and the backslash are ordinary characters.
#pragma once

#include <string_view>

namespace support {

// Result codes of Match.
constexpr int kMatchValid = 1;    // the text matches
constexpr int kMatchEnd = 2;      // the pattern was used up before the text
constexpr int kMatchAbort = 3;    // the text was used up first, or a star's set was broken
constexpr int kMatchRange = 4;    // a character did not satisfy a set
constexpr int kMatchLiteral = 5;  // a character differed from a literal
constexpr int kMatchPattern = 6;  // malformed pattern

// True exactly when Match gives kMatchValid.
bool IsMatch(std::string_view pattern, std::string_view text);
int Match(std::string_view pattern, std::string_view text);
// The search after a star: pattern is the rest that follows the star (or that
// starts with it), text the rest of the text; the star's set is empty.
int MatchAfterStar(std::string_view pattern, std::string_view text);

}  // namespace support
