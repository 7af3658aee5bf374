#pragma once

#include <QString>

// Small string operations for sender tests, keyword tests, script escaping and
// search patterns. None keeps state; every one returns a new string.
namespace wendle::text {

// Whether needle occurs in haystack, ignoring case. An empty needle is never found.
bool isSubstringOf(const QString &needle, const QString &haystack);
// Whether the lower-cased text starts with prefix; the prefix itself is taken
// as given, so one with upper-case letters never matches.
bool beginsWithString(const QString &text, const QString &prefix);

QString replaceDoubleQuotes(const QString &text);           // " -> '
QString replaceUnderscores(const QString &text);            // _ -> space
QString addUnderscores(const QString &text);                // space -> _
QString convertPathDelimitersToColons(const QString &text); // / -> :

// Joins the words of free text with '*': whitespace and punctuation separate
// words, except . - ' & which stay inside them. Empty when no word is left.
QString replaceSpacesWithAsterisks(const QString &text);

// The integer at the start of the text, read the way a number-from-text
// conversion reads it: leading blanks, an optional sign, then digits; 0 when
// there are none. Out-of-range values stick at the 32-bit limits.
qint32 leadingInteger(const QString &text);

// Characters that end a word for replaceSpacesWithAsterisks.
bool isWordSeparator(QChar c);

} // namespace wendle::text
