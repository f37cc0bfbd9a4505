#pragma once

// A TCP socket whose reads skip the try that can only fail. The event loop
// tries every read at once before it waits for the socket; on a proxied
// connection that try finds nothing as a rule, as the client sends nothing
// until it has its answer and the server nothing until it has the request.
// Here each read asks the kernel how much it left in the socket (a FIN
// counts as something left); when nothing, the next read may wait for the
// loop's readiness event at once. Whatever arrives later raises that event,
// and the loop clears the state on every event, so no byte is missed. A
// reset that came with the last bytes raises none, though: a read that must
// learn of it re-arms the event instead, as costly as the try it replaces.

#include <boost/asio/ip/tcp.hpp>
#include <boost/version.hpp>
#include <utility>

// The shortcut uses the event loop's own read operation type; with another
// Boost or event loop the socket reads as any other.
#if BOOST_VERSION == 107400 && defined(BOOST_ASIO_HAS_EPOLL) && !defined(BOOST_ASIO_HAS_IO_URING)
#define OSTRUM_DRAINING_READ 1
#include <boost/asio/detail/reactor.hpp>
#include <boost/asio/detail/reactor_op.hpp>
#include <boost/asio/detail/recycling_allocator.hpp>
#include <boost/asio/detail/socket_ops.hpp>
#include <cerrno>
#include <cstring>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace platform::netfilter {

#ifdef OSTRUM_DRAINING_READ
namespace drain {

namespace asio = boost::asio;

template <typename Handler> class ReadOp final : public asio::detail::reactor_op {
public:
    using Allocator = asio::detail::recycling_allocator<ReadOp>;

    ReadOp(asio::detail::socket_type socket, asio::mutable_buffer buffer, bool& drained,
           Handler handler)
        : reactor_op(boost::system::error_code(), &ReadOp::perform, &ReadOp::complete),
          m_socket(socket), m_buffer(buffer), m_drained(drained), m_handler(std::move(handler)) {}

private:
    static status perform(reactor_op* base) {
        auto* op = static_cast<ReadOp*>(base);
        iovec part{op->m_buffer.data(), op->m_buffer.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof(control);
        ssize_t size = -1;
        do {
            size = ::recvmsg(op->m_socket, &message, 0);
        } while (size < 0 && errno == EINTR);
        if (size < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return not_done;
        }
        op->m_drained = size <= 0 || left(message) == 0;
        if (size <= 0) {
            op->ec_ = size == 0
                          ? boost::system::error_code(asio::error::eof)
                          : boost::system::error_code(errno, asio::error::get_system_category());
            return done_and_exhausted;
        }
        op->bytes_transferred_ = size_t(size);
        return op->m_drained ? done_and_exhausted : done;
    }

    // What the kernel says it kept, or 1 when it does not say.
    static int left(msghdr& message) {
        for (cmsghdr* item = CMSG_FIRSTHDR(&message); item; item = CMSG_NXTHDR(&message, item)) {
            if (item->cmsg_level == IPPROTO_TCP && item->cmsg_type == TCP_CM_INQ &&
                item->cmsg_len >= CMSG_LEN(sizeof(int))) {
                int count = 0;
                std::memcpy(&count, CMSG_DATA(item), sizeof(count));
                return count;
            }
        }
        return 1;
    }

    // owner is null when the loop is destroyed with the read pending.
    static void complete(void* owner, asio::detail::operation* base,
                         const boost::system::error_code&, std::size_t) {
        auto* op = static_cast<ReadOp*>(base);
        Handler handler(std::move(op->m_handler));
        const boost::system::error_code error = op->ec_;
        const std::size_t size = op->bytes_transferred_;
        op->~ReadOp();
        Allocator().deallocate(op, 1);
        if (owner) {
            handler(error, size);
        }
    }

    asio::detail::socket_type m_socket;
    asio::mutable_buffer m_buffer;
    bool& m_drained;
    Handler m_handler;
};

} // namespace drain
#endif

class DrainingSocket : public boost::asio::ip::tcp::socket {
public:
    // How a read after one that emptied the socket starts.
    enum class AfterDrain {
        Wait,  // for the next event: the peer owes nothing now, and a reset
               // that came with the last bytes shows at the next write
        Check, // re-arms the event, which a pending close or reset raises too
    };

    explicit DrainingSocket(boost::asio::io_context& context);
    explicit DrainingSocket(boost::asio::ip::tcp::socket&& socket);

    // Once the socket is open: lets reads learn what they left (ignored by
    // kernels that cannot tell; their reads then try every time).
    void reportWhatIsLeft();
    // As async_read_some: handler(error, size), never called inline.
    template <typename Handler>
    void readSome(boost::asio::mutable_buffer buffer, AfterDrain afterDrain, Handler handler);

private:
#ifdef OSTRUM_DRAINING_READ
    boost::asio::detail::reactor* m_reactor;
    bool m_drained = false; // by the last read
#endif
};

#ifdef OSTRUM_DRAINING_READ
inline DrainingSocket::DrainingSocket(boost::asio::io_context& context)
    : boost::asio::ip::tcp::socket(context),
      m_reactor(&boost::asio::use_service<boost::asio::detail::reactor>(context)) {}

inline DrainingSocket::DrainingSocket(boost::asio::ip::tcp::socket&& socket)
    : boost::asio::ip::tcp::socket(std::move(socket)),
      m_reactor(&boost::asio::use_service<boost::asio::detail::reactor>(
          boost::asio::query(get_executor(), boost::asio::execution::context))) {}

inline void DrainingSocket::reportWhatIsLeft() {
    boost::system::error_code ignored;
    set_option(boost::asio::detail::socket_option::boolean<IPPROTO_TCP, TCP_INQ>(true), ignored);
}

template <typename Handler>
void DrainingSocket::readSome(boost::asio::mutable_buffer buffer, AfterDrain afterDrain,
                              Handler handler) {
    using Op = drain::ReadOp<Handler>;
    namespace ops = boost::asio::detail::socket_ops;
    auto& impl = impl_.get_implementation();
    Op* op = new (typename Op::Allocator().allocate(1))
        Op(impl.socket_, buffer, m_drained, std::move(handler));
    if (buffer.size() > 0 &&
        ((impl.state_ & ops::non_blocking) != 0 ||
         ops::set_internal_non_blocking(impl.socket_, impl.state_, true, op->ec_))) {
        const bool rearm = m_drained && afterDrain == AfterDrain::Check;
        m_reactor->start_op(boost::asio::detail::reactor::read_op, impl.socket_, impl.reactor_data_,
                            op, false, !rearm);
        return;
    }
    m_reactor->post_immediate_completion(op, false);
}
#else
inline DrainingSocket::DrainingSocket(boost::asio::io_context& context)
    : boost::asio::ip::tcp::socket(context) {}

inline DrainingSocket::DrainingSocket(boost::asio::ip::tcp::socket&& socket)
    : boost::asio::ip::tcp::socket(std::move(socket)) {}

inline void DrainingSocket::reportWhatIsLeft() {}

template <typename Handler>
void DrainingSocket::readSome(boost::asio::mutable_buffer buffer, AfterDrain, Handler handler) {
    async_read_some(buffer, std::move(handler));
}
#endif

} // namespace platform::netfilter
