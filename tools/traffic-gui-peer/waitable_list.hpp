#pragma once
// What the helper sent, as a list that one thread appends to and others wait
// on: the reader thread pushes, then closes it when the connection ends.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace vth::peer {

template <typename T>
class WaitableList {
  public:
    using Clock = std::chrono::steady_clock;

    void push(T item) {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(item));
        changed_.notify_all();
    }

    // The connection has ended; waiting stops.
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

    // The index of the first item from `from` on that matches, waiting up to
    // the deadline; nothing when none came before it or before the close.
    std::optional<std::size_t> wait_for(std::size_t from,
                                        const std::function<bool(const T&)>& match,
                                        Clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        std::size_t next = from;
        for (;;) {
            for (; next < items_.size(); ++next) {
                if (match(items_[next])) return next;
            }
            if (closed_) return std::nullopt;
            if (changed_.wait_until(lock, deadline) == std::cv_status::timeout &&
                next == items_.size() && !closed_) {
                return std::nullopt;
            }
        }
    }

    // An item wait_for has returned the index of.
    T at(std::size_t index) const {
        std::lock_guard lock(mutex_);
        return items_[index];
    }

    std::size_t size() const {
        std::lock_guard lock(mutex_);
        return items_.size();
    }

    // True when the list was closed by the deadline.
    bool wait_closed(Clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        return changed_.wait_until(lock, deadline, [&] { return closed_; });
    }

    bool closed() const {
        std::lock_guard lock(mutex_);
        return closed_;
    }

    // Calls visit with every item, under the lock.
    void each(const std::function<void(const T&)>& visit) const {
        std::lock_guard lock(mutex_);
        for (const T& item : items_) visit(item);
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<T> items_;
    bool closed_ = false;
};

}  // namespace vth::peer
