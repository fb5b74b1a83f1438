#pragma once
// What an operation that can fail gives back: success (with its value, for
// Result<T>), or a failure with the words to show the user. A channel write
// may also be refused quietly (a TAVLIB export returning -1): nothing to
// report, and nothing delivered. The caller decides what to ignore.

#include <cassert>
#include <optional>
#include <string>
#include <utility>

namespace fw {

template <class T = void>
class Result;

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    static Result success() { return {}; }
    static Result failure(std::string why) { return Result(State::Failed, std::move(why)); }
    static Result refusal() { return Result(State::Refused, {}); }

    bool ok() const { return state_ == State::Ok; }
    bool failed() const { return state_ == State::Failed; }
    bool refused() const { return state_ == State::Refused; }
    const std::string& error() const { return error_; }

private:
    enum class State { Ok, Failed, Refused };
    Result(State state, std::string error) : state_(state), error_(std::move(error)) {}

    State state_ = State::Ok;
    std::string error_;
};

// A value, or why there is none. A Result<> that did not succeed passes on
// as one of any type: `if (r.failed()) return r;` reads the same everywhere.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Result<> notDone) : status_(std::move(notDone)) { assert(!status_.ok()); }
    static Result failure(std::string why) { return Result<>::failure(std::move(why)); }
    static Result refusal() { return Result<>::refusal(); }

    bool ok() const { return status_.ok(); }
    bool failed() const { return status_.failed(); }
    bool refused() const { return status_.refused(); }
    const std::string& error() const { return status_.error(); }
    // Only without the value: a Result<> of the same outcome.
    const Result<>& status() const { return status_; }
    operator const Result<>&() const { return status_; }

    const T& value() const& { return checked(); }
    T&& value() && { return std::move(checked()); }
    const T& operator*() const& { return checked(); }
    const T* operator->() const { return &checked(); }
    T valueOr(T fallback) const { return value_ ? *value_ : std::move(fallback); }

private:
    const T& checked() const
    {
        assert(value_);
        return *value_;
    }
    T& checked()
    {
        assert(value_);
        return *value_;
    }

    Result<> status_;
    std::optional<T> value_;
};

} // namespace fw
