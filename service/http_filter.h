#pragma once

#include "platform/mutex.h"
#include "platform/netfilter/ProtocolFilters.h"
#include "service/block_timer.h"
#include "service/config.h"
#include "service/conn_record.h"
#include "service/engine.h"
#include "service/log_writer.h"
#include "service/wblist.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace ostrum {

// The event sink of the protocol filter and the owner of all filtering
// state: settings, rule engine, logs, block timer, connection table, lists.
class HttpFilter : public ProtocolFilters::PFEventsDefault {
public:
    HttpFilter();
    ~HttpFilter() override;
    HttpFilter(const HttpFilter&) = delete;
    HttpFilter& operator=(const HttpFilter&) = delete;

    // Reads ostrum.cfg; 0 whatever loadConfig answered.
    virtual int reloadConfig();
    // Rule files: 0 when read, -1 when they cannot be opened.
    virtual int32_t loadRuleFile(const char* name);
    virtual int32_t loadRuleFile(const std::string& name);
    virtual int32_t loadIpRange();
    virtual int loadWbList();

    virtual void debugPrint(const char* format, ...) __attribute__((format(printf, 2, 3)));
    virtual std::string formatString(const char* format, ...)
        __attribute__((format(printf, 2, 3)));
    virtual std::string todayString();
    virtual std::string timeString();
    virtual std::string logFileDate();

    virtual bool isIpBlocked(std::string ip);
    // 1 when this hit is to close the connection.
    virtual int32_t recordAttack(std::string ip);

    virtual void writeAttackLog(std::string record);
    virtual void closeAttackLog();
    virtual void writeDetailLog(std::string_view record);
    virtual void closeDetailLog();
    virtual void writeMainLog(std::string message);
    virtual void closeMainLog();

    virtual bool matchList(std::string_view value, int listcode);
    // True when the lists are active and one of these holds an entry.
    bool anyListInUse(std::initializer_list<int> listcodes);
    // Closes the connection when blocking is on; true when it did.
    virtual bool blockConnection(uint64_t id, std::string message);

    // Events of the protocol filter.
    void tcpConnected(uint64_t id, nfapi::TcpConnInfo* info) override;
    void tcpClosed(uint64_t id, nfapi::TcpConnInfo* info) override;
    void dataAvailable(uint64_t id, ProtocolFilters::PFObject* object) override;
    int dataPartAvailable(uint64_t id, ProtocolFilters::PFObject* object) override;
    nfapi::NF_STATUS tcpPostSend(uint64_t id, const char* buf, int len) override;
    nfapi::NF_STATUS tcpPostReceive(uint64_t id, const char* buf, int len) override;

    // Blocking is on: action_block set and a mode other than 2 and 3.
    bool blockingOn();

    config& settings() { return m_config; }
    engine& rules() { return m_engine; }
    BlockTimer& blockTimer() { return blockmap; }
    const std::vector<wblistitem>& listEntries() const { return wblist; }

protected:
    // Which event reports a connection's end; they differ only in their traces.
    enum class CloseEvent { TcpClosed, DisconnectNotice };
    // Takes the connection out of ip2map, counting it down in its range when
    // the range counted it.
    void forgetConnection(uint64_t id, CloseEvent event);
    // addipconn for a new connection when limits apply; the full range's
    // limit, or 0 when admitted.
    uint32_t countConnection(connrecord& record);
    void admitConnection(uint64_t id, connrecord record);

    config m_config;
    engine m_engine;
    // Dates of the daily files in use, kept under their writer's lock.
    std::string attacklogdate;
    std::string detaillogdate;
    LogWriter mainlog{LogWriter::Kind::Run};
    LogWriter detaillog{LogWriter::Kind::Detail, [this] { return logFileDate(); }, &detaillogdate};
    LogWriter attacklog{LogWriter::Kind::Attack, [this] { return logFileDate(); }, &attacklogdate};
    BlockTimer blockmap;
    std::map<uint64_t, connrecord> ip2map;
    Mutex maplock;
    std::vector<wblistitem> wblist;
    // Places in wblist by list code, so a match walks only its own list.
    std::array<std::vector<size_t>, 8> m_wblistIndex;
    std::atomic<uint32_t> requestcount{0};
};

} // namespace ostrum
