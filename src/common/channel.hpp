#pragma once
// An unbounded FIFO channel between two threads: a mutex and a deque, with
// ends that know when the other end is gone. Sending never blocks and
// receiving never waits, which is what both polling loops of the program
// want. Each end is owned by one thread at a time; ends are move-only.
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace vth {

namespace channel_detail {

template <typename T>
struct Shared {
    std::mutex mutex;
    std::deque<T> queue;
    bool sender_alive = true;
    bool receiver_alive = true;
};

}  // namespace channel_detail

template <typename T>
class Sender {
  public:
    Sender() = default;
    explicit Sender(std::shared_ptr<channel_detail::Shared<T>> shared)
        : shared_(std::move(shared)) {}
    Sender(Sender&&) noexcept = default;
    Sender& operator=(Sender&& other) noexcept {
        if (this != &other) {
            close();
            shared_ = std::move(other.shared_);
        }
        return *this;
    }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;
    ~Sender() { close(); }

    // False, with value discarded, when the receiving end is gone.
    bool send(T value) {
        if (!shared_) return false;
        std::lock_guard lock(shared_->mutex);
        if (!shared_->receiver_alive) return false;
        shared_->queue.push_back(std::move(value));
        return true;
    }

    // Lets go of this end; the receiver still gets what was sent before.
    void close() noexcept {
        if (!shared_) return;
        {
            std::lock_guard lock(shared_->mutex);
            shared_->sender_alive = false;
        }
        shared_.reset();
    }

  private:
    std::shared_ptr<channel_detail::Shared<T>> shared_;
};

template <typename T>
class Receiver {
  public:
    Receiver() = default;
    explicit Receiver(std::shared_ptr<channel_detail::Shared<T>> shared)
        : shared_(std::move(shared)) {}
    Receiver(Receiver&&) noexcept = default;
    Receiver& operator=(Receiver&& other) noexcept {
        if (this != &other) {
            close();
            shared_ = std::move(other.shared_);
        }
        return *this;
    }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;
    ~Receiver() { close(); }

    // The oldest value, or nothing when the queue is empty (whether or not
    // the sender is still there).
    std::optional<T> try_receive() {
        if (!shared_) return std::nullopt;
        std::lock_guard lock(shared_->mutex);
        if (shared_->queue.empty()) return std::nullopt;
        std::optional<T> value(std::move(shared_->queue.front()));
        shared_->queue.pop_front();
        return value;
    }

    // Whether a sender can still add values.
    bool sender_alive() const {
        if (!shared_) return false;
        std::lock_guard lock(shared_->mutex);
        return shared_->sender_alive;
    }

    // Lets go of this end; later sends fail and what was queued is dropped.
    void close() noexcept {
        if (!shared_) return;
        std::deque<T> dropped;
        {
            std::lock_guard lock(shared_->mutex);
            shared_->receiver_alive = false;
            dropped.swap(shared_->queue);
        }
        shared_.reset();
    }

  private:
    std::shared_ptr<channel_detail::Shared<T>> shared_;
};

template <typename T>
std::pair<Sender<T>, Receiver<T>> make_channel() {
    auto shared = std::make_shared<channel_detail::Shared<T>>();
    return {Sender<T>(shared), Receiver<T>(shared)};
}

}  // namespace vth
