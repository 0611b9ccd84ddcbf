#pragma once

#include <string>
#include <string_view>

#include "display/monitor_core.h"

// Saves the four lists of a monitor as four files in one folder, each exactly the clipboard
// text of its list (display/list_copy.h) and named after the list: MessageBoxList.txt,
// BasicMessageList.txt, StatisticsList.txt, SysexList.txt. The folder is made when missing
// (one level). Window thread (it reads the lists). No Qt: the console and the window share it.
namespace tessaly {

struct SaveListsResult {
  bool ok = false;
  // One line, no newline: "lists saved to DIR", or what failed and why.
  std::string message;
};

SaveListsResult SaveLists(const MonitorCore& core, std::string_view dir);

// The console's report of it: "tessaly: " and the message on standard error (standard output
// carries only the lists). Returns the exit code: 0 when saved, 1 when not.
int ReportSavedLists(const SaveListsResult& result);

}  // namespace tessaly
