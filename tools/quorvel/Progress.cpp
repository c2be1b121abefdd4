#include "Progress.h"

#include <unistd.h>

#include <cstdio>

namespace qvtool {

namespace {

constexpr std::chrono::milliseconds kRedrawInterval(500);

}  // namespace

Progress::Progress(bool bEnabled, long long nTotal)
    : m_bEnabled(bEnabled),
      m_nTotal(nTotal),
      m_next(std::chrono::steady_clock::now() + kRedrawInterval) {}

Progress::~Progress() {
    if (m_bDrawn) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
}

bool Progress::StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void Progress::Draw(long long nDone) {
    const auto now = std::chrono::steady_clock::now();
    if (now < m_next) {
        return;
    }
    m_next = now + kRedrawInterval;
    if (m_nTotal > 0) {
        std::fprintf(stderr, "\r\033[Krows %lld of %lld (%lld%%)", nDone, m_nTotal,
                     nDone * 100 / m_nTotal);
    } else {
        std::fprintf(stderr, "\r\033[Krows %lld", nDone);
    }
    std::fflush(stderr);
    m_bDrawn = true;
}

}  // namespace qvtool
