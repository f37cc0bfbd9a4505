// The compiled parts of Boost.Asio and Boost.Beast, built once for the layer
// and for everything that links it.
#include <boost/asio/impl/src.hpp>
#include <boost/beast/src.hpp>
