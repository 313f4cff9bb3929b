// The path list in its text form: one path taken whole, or paths each in
// double quotes.
#pragma once

#include <string>

namespace kelvane {

// Takes the next item from the front of the list and leaves the rest in it.
// A list without double quotes is one item, blanks included, and the list is
// then empty; an empty list gives one empty item.
std::string takeNextItem(std::string& sPaths);

}  // namespace kelvane
