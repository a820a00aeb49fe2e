#include "job_runner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "console.h"

void JobContext::Say(const std::string& line) const { console::Out(prefix_ ? "[" + port_ + "] " + line : line); }

void JobContext::Fail(const std::string& text, const std::string& detail) const {
  if (detail.find('\n') == std::string::npos) {
    console::Err("kvctl: " + port_ + ": " + text + (detail.empty() ? "" : " (" + detail + ")"));
    return;
  }
  // A detail of several lines (the settings check) follows on its own lines.
  std::string lines = "kvctl: " + port_ + ": " + text;
  std::size_t start = 0;
  while (start <= detail.size()) {
    const std::size_t end = detail.find('\n', start);
    const std::string line = detail.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty()) lines += "\n  " + line;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  console::Err(lines);
}

std::string FormatSummary(const std::vector<std::string>& ports, const std::vector<JobResult>& results,
                          const std::vector<double>& seconds) {
  std::size_t portWidth = 4, verdictWidth = 6;
  for (std::size_t i = 0; i < ports.size(); ++i) {
    portWidth = std::max(portWidth, ports[i].size());
    verdictWidth = std::max(verdictWidth, results[i].verdict.size());
  }
  auto pad = [](std::string s, std::size_t w) {
    s.resize(std::max(w, s.size()), ' ');
    return s;
  };
  std::string out = pad("PORT", portWidth) + "  " + pad("RESULT", verdictWidth) + "  TIME     DETAIL\n";
  for (std::size_t i = 0; i < ports.size(); ++i) {
    char t[16];
    std::snprintf(t, sizeof t, "%6.1fs", seconds[i]);
    out += pad(ports[i], portWidth) + "  " + pad(results[i].verdict, verdictWidth) + "  " + t + "  " +
           results[i].detail + "\n";
  }
  return out;
}

int RunOnPorts(const std::vector<std::string>& ports, const Job& job, SummaryTo summary) {
  const bool several = ports.size() > 1;
  std::vector<JobResult> results(ports.size());
  std::vector<double> seconds(ports.size(), 0.0);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < ports.size(); ++i) {
    threads.emplace_back([&, i] {
      const auto start = std::chrono::steady_clock::now();
      JobContext context(ports[i], several);
      results[i] = job(context);
      seconds[i] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
  }
  for (auto& t : threads) t.join();
  int code = kExitOk;
  for (const auto& r : results) code = WorseExit(code, r.code);
  if (several) {
    const std::string table = FormatSummary(ports, results, seconds);
    if (summary == SummaryTo::Stdout) console::Raw("\n" + table);
    else console::Err("\n" + table.substr(0, table.size() - 1));
  }
  return code;
}
