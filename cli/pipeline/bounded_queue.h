// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// A small blocking queue between two pipeline stages. close() ends the stream for the
// consumer once drained; abort() wakes both sides at once and drops what is queued.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

template <typename T>
class BoundedQueue
{
public:
    explicit BoundedQueue(size_t capacity) : capacity_(capacity) {}

    // False when the queue was aborted; the item is then not taken.
    bool push(T item)
    {
        std::unique_lock lock(mutex_);
        notFull_.wait(lock, [&] { return aborted_ || items_.size() < capacity_; });
        if (aborted_) return false;
        items_.push_back(std::move(item));
        notEmpty_.notify_one();
        return true;
    }

    // False at the end of the stream or after abort.
    bool pop(T& item)
    {
        std::unique_lock lock(mutex_);
        notEmpty_.wait(lock, [&] { return aborted_ || closed_ || !items_.empty(); });
        if (aborted_ || items_.empty()) return false;
        item = std::move(items_.front());
        items_.pop_front();
        notFull_.notify_one();
        return true;
    }

    void close()
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        notEmpty_.notify_all();
    }

    // Returns what was still queued so the caller can release it.
    std::deque<T> abort()
    {
        std::lock_guard lock(mutex_);
        aborted_ = true;
        notEmpty_.notify_all();
        notFull_.notify_all();
        return std::move(items_);
    }

private:
    std::mutex mutex_;
    std::condition_variable notEmpty_, notFull_;
    std::deque<T> items_;
    size_t capacity_;
    bool closed_ = false;
    bool aborted_ = false;
};
