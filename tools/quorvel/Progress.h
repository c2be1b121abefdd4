// Progress of long work on the terminal: "rows 120000 of 500000 (24%)" on standard error,
// redrawn at most every half second and wiped when the work ends. Silent unless enabled.
#ifndef QUORVEL_TOOLS_PROGRESS_H
#define QUORVEL_TOOLS_PROGRESS_H

#include <chrono>

namespace qvtool {

class Progress {
  public:
    // nTotal 0: the total is not known.
    Progress(bool bEnabled, long long nTotal);
    ~Progress();  // wipes the line
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Cheap enough to call for every row: the clock is looked at every 4096th call.
    void Update(long long nDone) {
        if (m_bEnabled && (++m_nCalls & 0xFFF) == 0) {
            Draw(nDone);
        }
    }

    // True when standard error is a terminal.
    static bool StderrIsTerminal();

  private:
    void Draw(long long nDone);

    bool m_bEnabled;
    bool m_bDrawn = false;
    long long m_nTotal;
    unsigned long m_nCalls = 0;
    std::chrono::steady_clock::time_point m_next;
};

}  // namespace qvtool

#endif  // QUORVEL_TOOLS_PROGRESS_H
