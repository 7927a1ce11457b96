#pragma once

#include <QString>
#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

// One observer's registration with a source (the notification centre, the user defaults, the
// monitor). Move-only; destroying or resetting it ends the registration, so an observer that keeps
// its subscriptions as members can never be called once it is gone. Safe when the source went first.
class [[nodiscard]] Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel)
        : _cancel(std::move(cancel))
    {
    }
    Subscription(Subscription &&other) noexcept
        : _cancel(std::exchange(other._cancel, {}))
    {
    }
    Subscription &operator=(Subscription &&other) noexcept
    {
        if (this != &other) {
            reset();
            _cancel = std::exchange(other._cancel, {});
        }
        return *this;
    }
    Subscription(const Subscription &) = delete;
    Subscription &operator=(const Subscription &) = delete;
    ~Subscription() { reset(); }

    void reset()
    {
        if (std::function<void()> cancel = std::exchange(_cancel, {}))
            cancel();
    }
    explicit operator bool() const { return bool(_cancel); }

private:
    std::function<void()> _cancel;
};

// The observers of one source, each registered for a key (a notification name, a defaults key, a
// property name). notify() calls the observers of a key in registration order; an observer may
// subscribe or unsubscribe anyone meanwhile: one added is first called by the next notify(), one
// removed is not called again, not even later in the same notify().
template <typename... Args>
class ObserverList {
public:
    using Observer = std::function<void(Args...)>;

    Subscription add(const QString &key, Observer observer)
    {
        auto entry = std::make_shared<Entry>(Entry{key, std::move(observer), true});
        _entries->push_back(entry);
        return Subscription([weakEntries = std::weak_ptr<Entries>(_entries), weakEntry = std::weak_ptr<Entry>(entry)] {
            const std::shared_ptr<Entries> entries = weakEntries.lock();
            const std::shared_ptr<Entry> removed = weakEntry.lock();
            if (!entries || !removed)
                return;
            removed->active = false;
            std::erase(*entries, removed);
        });
    }

    void notify(const QString &key, Args... args) const
    {
        // The copy keeps every entry alive through the calls, even one whose observer removes it.
        const Entries entries = *_entries;
        for (const std::shared_ptr<Entry> &entry : entries) {
            if (entry->active && entry->key == key)
                entry->observer(args...);
        }
    }

private:
    struct Entry {
        QString key;
        Observer observer;
        bool active;
    };
    using Entries = std::vector<std::shared_ptr<Entry>>;

    std::shared_ptr<Entries> _entries = std::make_shared<Entries>();
};
