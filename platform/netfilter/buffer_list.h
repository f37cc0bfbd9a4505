#pragma once

#include <boost/asio/buffer.hpp>

namespace platform::netfilter {

// A buffer sequence that refers to buffers kept elsewhere, so that a write
// does not copy (or allocate) a container of buffers.
struct BufferList {
    using value_type = boost::asio::const_buffer;
    using const_iterator = const boost::asio::const_buffer*;

    const_iterator first = nullptr;
    const_iterator last = nullptr;

    const_iterator begin() const { return first; }
    const_iterator end() const { return last; }
};

} // namespace platform::netfilter
