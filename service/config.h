#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ostrum {

// The service's reading of ostrum.cfg. Filled once when the filter starts,
// then only read, without a lock.
class config final {
public:
    config();
    ~config();
    config(const config&) = delete;
    config& operator=(const config&) = delete;

    // 0 after reading the file to its end, -1 when it cannot be opened.
    virtual int loadConfig();
    // Applies one "key=value" line; always 0.
    virtual int parseline(std::string line);
    // Stores the date and writes it as last_update_date into folder/ostrum.cfg.
    virtual void writeUpgradeRecord(std::string date, std::string folder);
    virtual std::string getLastUpdateDate() { return last_update_date; }
    virtual int32_t getRunMod() { return run_mod; }
    virtual std::vector<uint16_t> getPorts() { return ports; }
    virtual void addPort(uint16_t port) { ports.push_back(port); }
    virtual bool getUseUtf8() { return use_utf8; }
    virtual bool getBlockWhenConn() { return block_when_conn; }
    virtual bool getActionBlock() { return action_block; }
    virtual bool getWriteDetaillog() { return write_detaillog; }
    virtual bool getSelfLearn() { return self_learn; }
    virtual bool getActiveWblist() { return active_wblist; }
    virtual bool getAutoUpdateReport() { return auto_update_report; }
    virtual bool getLimitConn() { return limit_conn; }
    virtual uint32_t getBlockWhenN() { return block_when_n; }
    virtual uint32_t getBlockAginWhenM() { return block_agin_when_m; }
    virtual uint32_t getBlockTimeLength() { return block_time_length; }
    virtual uint32_t getBlockMaxTimeLen() { return block_max_time_len; }
    virtual uint32_t getMaxLogfileSize() { return max_logfile_size; }
    virtual uint32_t getTcpConnTimeout() { return tcp_conn_timeout; }
    virtual uint32_t getSelfLearnMaxCount() { return self_learn_max_count; }

    uint32_t getMaxLogfileStoreTime() const { return max_logfile_store_time; }
    // The file loadConfig reads; relative to the current folder.
    void setFileNameForTest(std::string name) { filename = std::move(name); }

private:
    int32_t run_mod = 2;
    bool write_detaillog = true;
    bool action_block = true;
    bool block_when_conn = true;
    bool self_learn = false;
    bool active_wblist = true;
    bool limit_conn = true;
    bool auto_update_report = false;
    uint32_t block_when_n = 1;
    uint32_t block_agin_when_m = 1;
    uint32_t block_time_length = 60;
    uint32_t block_max_time_len = 3600;
    bool use_utf8 = false;
    uint32_t max_logfile_size = 100;
    uint32_t max_logfile_store_time = 10;
    std::vector<uint16_t> ports;
    uint32_t self_learn_max_count = 10;
    std::string last_update_date = "0";
    uint32_t tcp_conn_timeout = 120;
    std::string filename = "ostrum.cfg";
};

} // namespace ostrum
