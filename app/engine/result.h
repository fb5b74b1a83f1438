#pragma once
// What an operation that can fail gives back: success, or a failure with the
// words to show the user. A channel write may also be refused quietly (a
// TAVLIB export returning -1): nothing to report, and nothing delivered.

#include <string>
#include <utility>

namespace fw {

class [[nodiscard]] Result {
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

} // namespace fw
