#include "shell/save_lists.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "display/list_copy.h"

namespace tessaly {
namespace {

// Writes all of `text` to `path`, replacing what was there; errno is kept on failure.
bool WriteFile(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : ENOSPC;
      close(fd);
      errno = error;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  // A full disk can show only at close (NFS, quotas).
  return close(fd) == 0;
}

}  // namespace

SaveListsResult SaveLists(const MonitorCore& core, std::string_view dir) {
  SaveListsResult result;
  const std::string folder(dir.empty() ? std::string_view(".") : dir);
  if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
    result.message = "lists not saved: " + folder + ": " + std::strerror(errno);
    return result;
  }
  const OutputList* const lists[] = {&core.messageBoxList, &core.basicMessageList,
                                     &core.statisticsList, &core.sysexList};
  for (const OutputList* list : lists) {
    const std::string path = folder + "/" + std::string(list->Name()) + ".txt";
    if (!WriteFile(path, CopyListText(*list))) {
      result.message = "lists not saved: " + path + ": " + std::strerror(errno);
      return result;
    }
  }
  result.ok = true;
  result.message = "lists saved to " + folder;
  return result;
}

int ReportSavedLists(const SaveListsResult& result) {
  std::fprintf(stderr, "tessaly: %s\n", result.message.c_str());
  return result.ok ? 0 : 1;
}

}  // namespace tessaly
