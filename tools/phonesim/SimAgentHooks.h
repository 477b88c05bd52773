#pragma once

#include "agent/AgentHooks.h"
#include "tools/phonesim/SimDevice.h"

// The agent of a simulated phone: the phone's settings stand in for its properties and
// its root grant, and the fault switches of device.ini (see README.md) break sessions
// the ways tests need. Only the simulator links this.
class SimAgentHooks : public agent::AgentHooks
{
public:
    explicit SimAgentHooks(const SimDevice& device);

    std::optional<std::string> description() override;
    bool sendsHello() override;
    std::optional<RootResult> runRootCommand(const std::string& command, std::size_t outputLimit) override;
    bool mayAccess(const std::string& phonePath) override;
    std::string wifiListenAddress() override { return "127.0.0.1"; }
    bool allowsNoSecret() override { return true; }
    void beforeAnswer() override;
    std::optional<std::string> errorForEveryRequest() override;
    bool knowsRequest(const std::string& command) override;
    std::size_t blockSize() override;
    std::optional<std::string> replaceFirstBlockHeader() override;
    bool dropsMidBlock() override;
    bool dropsMidUpload(const std::string& phonePath) override;
    std::optional<std::string> refuseWifi() override;
    void noteWrite(const std::string& phonePath, const std::string& action) override;
    void log(const std::string& text) override;

private:
    std::optional<std::string> textSetting(const char* key) const;

    SimDevice m_device;
};
