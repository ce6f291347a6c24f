#pragma once
// Jobs return a value or a JobError; the boundary (exports, CLI) turns the
// error into the status file or a message and an exit code.
#include <string>
#include <utility>
#include <variant>

#include "common/job_error.h"

namespace isorelink {

template <class T>
class [[nodiscard]] Expected {
public:
    Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Expected(JobError error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const JobError& error() const { return std::get<1>(state_); }

private:
    std::variant<T, JobError> state_;
};

struct Ok {};
using Status = Expected<Ok>;
inline Status ok_status() { return Ok{}; }

} // namespace isorelink
