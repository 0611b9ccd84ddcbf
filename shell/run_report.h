#pragma once

#include <string>

#include "capture/input_delivery.h"
#include "display/output_list.h"

// The figures a run prints at its end with --report, one per line, tab-separated like the
// console's own lines, so that scripts can read them:
//   stats<TAB><row>                  each line of the statistics list
//   lines<TAB><list name><TAB><n>    the line count of each of the four lists
//   service<TAB>messages dropped N sysex bytes dropped M held back H gave up G
//          system loss reports R uncounted U
// (the service's counts: messages its raw queue had no room for or the MIDI system reported
// lost, sysex bytes that came while no receive buffer was queued, callback calls that waited
// for the consumer's room, waits that reached their limit, the losses the MIDI system
// reported, and those of them it gave no count for).
namespace tessaly {

// "stats" lines for `statistics`, then a "lines" line for each list, in the order given.
std::string ListReport(const OutputList& statistics, const OutputList* const (&lists)[4]);
std::string ServiceReport(const InputDelivery::Counts& counts);

}  // namespace tessaly
