// Runs a piece of a test on a thread with a small stack: code that recursed
// once per level of a deep tree would overflow it long before the end, so a
// tree of a few tens of thousands of levels proves that it does not.
#pragma once

#include <pthread.h>

#include <cstddef>

#include <gtest/gtest.h>

namespace pyrrow::test {

inline constexpr std::size_t kSmallStack = 64 * 1024;

template <class Body>
void OnSmallStack(Body body)
{
    pthread_attr_t attr;
    ::pthread_attr_init(&attr);
    ::pthread_attr_setstacksize(&attr, kSmallStack);
    pthread_t thread;
    auto run = [](void* arg) -> void* {
        (*static_cast<Body*>(arg))();
        return nullptr;
    };
    ASSERT_EQ(::pthread_create(&thread, &attr, run, &body), 0);
    ::pthread_join(thread, nullptr);
    ::pthread_attr_destroy(&attr);
}

}  // namespace pyrrow::test
