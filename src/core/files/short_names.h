#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wexal {

// The short (8.3) form of a list row. POSIX has none, so one is made up per
// folder listing, as unique and as recognisable as the Windows one:
//
// - From the display text of the name, the part before the last dot is the
//   base and the part after it the extension (a name that starts with its only
//   dot has no extension). ASCII letters become capitals; digits and
//   ! # $ % & ' ( ) - @ ^ _ ` { } ~ stay; blanks and further dots are dropped;
//   any other ASCII character, and a character that cp932 cannot hold, becomes
//   "_"; other characters (kana, kanji) stay. Base and extension are cut to 8
//   and 3 cp932 bytes, never inside a character.
// - A name for which nothing was dropped, replaced or cut is its own short
//   form ("o1234.nc" gives O1234.NC). Such forms are taken first; when two
//   names give the same form (they differ in case only), the one that sorts
//   first by bytes keeps it.
// - Every other name, in byte order of the names, gets the first free form
//   "PREFIX~N" (+ "." extension): the base cut so that PREFIX~N fits 8 bytes,
//   N counting from 1 per prefix.
//
// The result depends only on the set of names, never on the order in which
// the folder was read, and no two names of the set share a form (letters
// compared without case). Work is linear in the number of names plus the sort
// of those that need a number.

// The number of every name: 0 for a name that keeps its own form.
std::vector<std::uint32_t> AssignShortNames(const std::vector<std::string_view>& names);

// The short form, "BASE.EXT" or "BASE"; number as given by AssignShortNames.
std::string ShortName(std::string_view name, std::uint32_t number);

// The short form without its extension, as the list row shows it.
std::string ShortBase(std::string_view name, std::uint32_t number);

}  // namespace wexal
