// What the client keeps of each provider's update list between runs, in a
// file of its own beside the store (listdata.dat), so that provdata.dat
// keeps the layout every reader of it knows: the date of the last list
// accepted, and the SHA-256 each item's entry gave. docs/store-format.md
// describes it with an example.
#pragma once

#include <string>
#include <string_view>

#include "model/local_time.h"
#include "model/provider_list.h"

namespace gantrell {

class CTokenReader;

// The file's name in the main data folder, beside provdata.dat.
inline constexpr std::string_view kListStateFile = "listdata.dat";

// The file's text for `providers`: one record per provider that has a list
// date or an item digest to keep, keyed by its address, each digest keyed
// by its group's and item's names and the stamp it was listed with.
std::string FormatListState(const ProviderList& providers);

// Reads a text written by FormatListState and gives its state to the
// providers of the same address (the first one, should two share it). A
// digest goes to its item only while the item's stamp is still the one it
// was listed with; anything unknown is skipped. Returns true when the text
// was read to its END.
bool ReadListState(CTokenReader& reader, ProviderList* providers);

// "The update list of NAME is older than the one already seen (DATE1 <
// DATE2); it was ignored." for a provider whose fetch refused a list
// (m_timeRefusedListDate set), with the dates as YYYY-MM-DD. NAME is the
// provider's name, or its address while it has none.
std::string OlderListText(const CProvider& provider);

}  // namespace gantrell
