#pragma once
// The self-test's drag source: a small window on a thread of its own that
// starts DoDragDrop when the left button goes down on it, offering a link
// the way a browser does.
#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "common/error.hpp"
#include "common/os.hpp"
#include "self_test_desktop.hpp"

namespace vth::peer {

// Shared between the drag thread and the self-test; outlives either.
struct DragShared {
    std::mutex mutex;
    std::condition_variable changed;
    HWND window = nullptr;
    std::optional<std::string> failure;
    std::optional<DragOutcome> outcome;
    bool finished = false;
};

// Starts the thread and waits until its window is shown (or failed).
Result<os::Thread> start_drag_source(const std::shared_ptr<DragShared>& shared,
                                     const ScreenRect& place, const std::string& url);

}  // namespace vth::peer
