#pragma once

#include <QByteArray>

#include <future>
#include <thread>

// A peer on a loopback port that plays a scripted agent: it sends its script as soon as
// the client connects and records everything the client sends until the client leaves.
// Runs on a thread of its own so that the client can block in its reads. With hangUp set
// it closes the connection right after the script instead.
class ScriptedAgent
{
public:
    explicit ScriptedAgent(const QByteArray& script, bool hangUp = false);
    ~ScriptedAgent();
    ScriptedAgent(const ScriptedAgent&) = delete;
    ScriptedAgent& operator=(const ScriptedAgent&) = delete;

    int port() const { return m_port; }
    // Waits for the client to leave, then returns what it sent.
    QByteArray received();

private:
    void serve(std::promise<int> port);

    QByteArray m_script;
    bool m_hangUp;
    QByteArray m_received;
    int m_port = 0;
    std::thread m_thread;
};
