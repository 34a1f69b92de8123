// "Quavr Monitor": a port that writes one line per operation it receives, to the file named by
// QUAVR_MONITOR_LOG or to standard error. Times are milliseconds since the port was opened.
// A line that cannot be written is an error result, and the first such error is noted with its
// errno for the tools.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>

#include "platform/midi/output.h"
#include "platform/platform_info.h"

namespace quavr::platform::posix {

namespace {

// One log for the whole process. A path met for the first time is truncated, so each run's log
// starts empty; a port opened later on the same path appends to it.
class MonitorLog {
 public:
  bool open() {
    std::lock_guard guard(mutex_);
    const char* path = std::getenv("QUAVR_MONITOR_LOG");
    const std::string wanted = path == nullptr ? std::string() : path;
    if (out_ != nullptr && wanted == path_) return true;
    if (out_ != nullptr && out_ != stderr) std::fclose(out_);
    out_ = nullptr;
    if (wanted.empty()) {
      out_ = stderr;
    } else {
      const bool seen = !seen_.insert(wanted).second;
      out_ = std::fopen(wanted.c_str(), seen ? "a" : "w");
      if (out_ == nullptr) noteOutputError(wanted, errno);
    }
    path_ = wanted;
    return out_ != nullptr;
  }

  MMRESULT write(std::int64_t openedNs, const std::string& what) {
    const std::int64_t elapsed = nowNs() - openedNs;
    std::lock_guard guard(mutex_);
    if (out_ == nullptr) return MMSYSERR_ERROR;
    errno = 0;
    const int written =
        virtualTime()
            ? std::fprintf(out_, "%" PRId64 " %s\n", elapsed / 1000000, what.c_str())
            : std::fprintf(out_, "%.3f %s\n", static_cast<double>(elapsed) / 1e6, what.c_str());
    if (written < 0 || std::fflush(out_) != 0) {
      noteOutputError(path_.empty() ? "standard error" : path_, errno == 0 ? EIO : errno);
      std::clearerr(out_);
      return MMSYSERR_ERROR;
    }
    return MMSYSERR_NOERROR;
  }

 private:
  std::mutex mutex_;
  std::FILE* out_ = nullptr;
  std::string path_;
  std::set<std::string> seen_;
};

MonitorLog& monitorLog() {
  static auto* log = new MonitorLog;
  return *log;
}

class Monitor final : public PortSink {
 public:
  Monitor() : opened_(nowNs()) {}

  MMRESULT shortMessage(DWORD message) override {
    char text[32];
    std::snprintf(text, sizeof text, "short %08X", static_cast<unsigned>(message));
    return monitorLog().write(opened_, text);
  }

  MMRESULT longMessage(const std::uint8_t* bytes, std::size_t length) override {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text = "long";
    text.reserve(4 + 3 * length);
    for (std::size_t i = 0; i < length; ++i) {
      text += ' ';
      text += kHex[bytes[i] >> 4];
      text += kHex[bytes[i] & 15];
    }
    return monitorLog().write(opened_, text);
  }

  MMRESULT reset() override { return monitorLog().write(opened_, "reset"); }

 private:
  std::int64_t opened_;
};

std::unique_ptr<PortSink> openMonitor(MMRESULT& result) {
  if (!monitorLog().open()) {
    result = MMSYSERR_ERROR;
    return nullptr;
  }
  result = MMSYSERR_NOERROR;
  return std::make_unique<Monitor>();
}

}  // namespace

void addMonitor(std::vector<OutputDevice>& devices) {
  devices.push_back({"Quavr Monitor", openMonitor});
}

}  // namespace quavr::platform::posix
