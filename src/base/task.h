// Flows that wait without a nested event loop. A handler is written top to
// bottom as a coroutine: where it waits for a box, a pause or a server's
// reply it suspends, the event loop goes on, and the flow is resumed when
// the answer comes.
//
//   Task<T>  a flow that gives a T; it starts when a flow awaits it.
//   Answer<T> a wait for one call of a callback (a box answered, a timer
//            fired, a reply received).
//   Flows    the flows an owner has started; a flow still waiting when its
//            owner goes is never resumed.
//   Outcome<T> a result several flows wait for (one save, joined by each
//            ending of the game).
#pragma once

// Qt 6.4's moc cannot read the standard library's C++20 headers, and
// nothing here is for it.
#ifndef Q_MOC_RUN

#include <coroutine>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace segni {

// What a wait for nothing in particular gives back.
struct Done
{
};

template <typename T = void>
class Task;

namespace detail {

template <typename T>
struct Result
{
    std::optional<T> value;
    template <typename U>
    void return_value(U &&result)
    {
        value.emplace(std::forward<U>(result));
    }
    T take() { return std::move(*value); }
};

template <>
struct Result<void>
{
    void return_void() {}
    void take() {}
};

} // namespace detail

template <typename T>
class [[nodiscard]] Task
{
public:
    struct promise_type : detail::Result<T>
    {
        std::coroutine_handle<> continuation;
        std::exception_ptr error;

        Task get_return_object()
        {
            return Task(std::coroutine_handle<promise_type>::from_promise(*this));
        }
        std::suspend_always initial_suspend() noexcept { return {}; }
        auto final_suspend() noexcept
        {
            // The flow that awaited this one goes on where it waited.
            struct Continue
            {
                bool await_ready() noexcept { return false; }
                std::coroutine_handle<> await_suspend(std::coroutine_handle<promise_type> done) noexcept
                {
                    if (std::coroutine_handle<> next = done.promise().continuation)
                        return next;
                    return std::noop_coroutine();
                }
                void await_resume() noexcept {}
            };
            return Continue{};
        }
        void unhandled_exception() { error = std::current_exception(); }
    };

    Task(Task &&other) noexcept
        : m_handle(std::exchange(other.m_handle, nullptr))
    {
    }
    Task &operator=(Task &&other) noexcept
    {
        if (this != &other) {
            if (m_handle)
                m_handle.destroy();
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }
    Task(const Task &) = delete;
    Task &operator=(const Task &) = delete;
    ~Task()
    {
        if (m_handle)
            m_handle.destroy();
    }

    bool await_ready() const noexcept { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> awaiting) noexcept
    {
        m_handle.promise().continuation = awaiting;
        return m_handle;
    }
    T await_resume()
    {
        promise_type &promise = m_handle.promise();
        if (promise.error)
            std::rethrow_exception(promise.error);
        return promise.take();
    }

private:
    explicit Task(std::coroutine_handle<promise_type> handle)
        : m_handle(handle)
    {
    }

    std::coroutine_handle<promise_type> m_handle;
};

// Waits for one call of a callback. Whatever starts the wait (opens a box,
// starts a timer or a request) is given the callback; a call that comes at
// once, before the flow has suspended, lets it go on without suspending. A
// second call, or one that comes after the waiting flow has gone, does
// nothing.
template <typename T>
class [[nodiscard]] Answer
{
public:
    using Callback = std::function<void(T)>;

    explicit Answer(std::function<void(Callback)> start)
        : m_start(std::move(start))
    {
    }
    Answer(Answer &&) = default;
    Answer(const Answer &) = delete;
    Answer &operator=(const Answer &) = delete;
    ~Answer()
    {
        if (m_state)
            m_state->waiting = nullptr;
    }

    bool await_ready() const noexcept { return false; }
    bool await_suspend(std::coroutine_handle<> waiting)
    {
        const std::shared_ptr<State> state = std::make_shared<State>();
        m_state = state;
        state->waiting = waiting;
        state->starting = true;
        m_start([state](T value) {
            if (!state->waiting || state->value)
                return;
            state->value.emplace(std::move(value));
            if (!state->starting)
                std::exchange(state->waiting, nullptr).resume();
        });
        state->starting = false;
        if (!state->value)
            return true;
        state->waiting = nullptr;
        return false;
    }
    T await_resume() { return std::move(*m_state->value); }

private:
    struct State
    {
        std::coroutine_handle<> waiting;
        std::optional<T> value;
        bool starting = false;
    };

    std::function<void(Callback)> m_start;
    std::shared_ptr<State> m_state;
};

// The flows an owner has started, each going on by itself once started.
// Destroying the owner's Flows destroys every flow that still waits: it is
// never resumed, and whatever it waited for (a box's answer, a timer, a
// reply) finds nobody there.
class Flows
{
public:
    Flows() = default;
    Flows(const Flows &) = delete;
    Flows &operator=(const Flows &) = delete;
    ~Flows()
    {
        for (const std::coroutine_handle<> &flow : m_running)
            flow.destroy();
    }

    // Runs the task at once, up to its first wait.
    void start(Task<> task)
    {
        Detached flow = run(std::move(task));
        m_running.push_front(flow.handle);
        flow.handle.promise().owner = this;
        flow.handle.promise().self = m_running.begin();
        flow.handle.resume();
    }

    bool idle() const { return m_running.empty(); }

private:
    struct Detached
    {
        struct promise_type
        {
            Flows *owner = nullptr;
            std::list<std::coroutine_handle<>>::iterator self;

            Detached get_return_object()
            {
                return {std::coroutine_handle<promise_type>::from_promise(*this)};
            }
            std::suspend_always initial_suspend() noexcept { return {}; }
            auto final_suspend() noexcept
            {
                struct Forget
                {
                    bool await_ready() noexcept { return false; }
                    void await_suspend(std::coroutine_handle<promise_type> done) noexcept
                    {
                        promise_type &promise = done.promise();
                        promise.owner->m_running.erase(promise.self);
                        done.destroy();
                    }
                    void await_resume() noexcept {}
                };
                return Forget{};
            }
            void return_void() {}
            // A flow handles what it can fail with; anything else is a bug.
            void unhandled_exception() { std::terminate(); }
        };
        std::coroutine_handle<promise_type> handle;
    };

    static Detached run(Task<> task) { co_await std::move(task); }

    std::list<std::coroutine_handle<>> m_running;
};

// A result that flows may wait for before or after it is set.
template <typename T>
class Outcome
{
public:
    bool known() const { return m_value.has_value(); }
    const T &value() const { return *m_value; }

    // Each flow that waits goes on at once. One of them may end the owner
    // of this outcome: the others still get their value.
    void set(const T &value)
    {
        m_value.emplace(value);
        const std::vector<typename Answer<T>::Callback> waiting = std::exchange(m_waiting, {});
        for (const auto &resume : waiting)
            resume(value);
    }

    Answer<T> wait()
    {
        return Answer<T>([this](typename Answer<T>::Callback done) {
            if (m_value)
                done(*m_value);
            else
                m_waiting.push_back(std::move(done));
        });
    }

private:
    std::optional<T> m_value;
    std::vector<typename Answer<T>::Callback> m_waiting;
};

} // namespace segni

#endif // Q_MOC_RUN
