#include "agent/AgentServer.h"

#include "agent/AgentVersion.h"
#include "agent/Base64.h"
#include "agent/PhoneProperties.h"
#include "agent/SafeInput.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace agent {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto NotPaired = "this agent serves only the computer that started it";

// A line of a folder listing stays well below the desktop's line limit.
constexpr std::size_t MaxListingLine = 48 * 1024;

// A regular file a download would serve, under a name a request can carry (a line break
// would end the line). Links are followed only where downloads follow them.
bool isListedFile(int folderFd, const dirent& entry, bool followLinks)
{
    const std::string_view name = entry.d_name;
    if (name == "." || name == ".." || name.find_first_of("\n\r") != std::string_view::npos)
        return false;
    switch (entry.d_type) {
    case DT_REG:
        return true;
    case DT_LNK:
        if (!followLinks)
            return false;
        break;
    case DT_UNKNOWN: // some file systems leave the type to a look-up
        break;
    default:
        return false;
    }
    struct stat info
    {};
    return fstatat(folderFd, entry.d_name, &info, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(info.st_mode);
}

int bindListener(const std::string& address, int port, std::string& error)
{
    UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        error = std::strerror(errno);
        return -1;
    }
    const int one = 1;
    setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(std::uint16_t(port));
    if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
        error = "bad listen address " + address;
        return -1;
    }
    if (bind(fd.get(), reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        ::listen(fd.get(), 8) != 0) {
        error = PortTakenWords + std::to_string(port) + ": " + std::strerror(errno);
        return -1;
    }
    return fd.release();
}

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// A decimal count of at most 18 digits; -1 for anything else.
long long parseCount(const std::string& text)
{
    if (text.empty() || text.size() > 18)
        return -1;
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

void makeParents(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0775);
}

bool writeFully(int fd, const char* data, std::size_t n)
{
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = write(fd, data + done, n - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        done += std::size_t(w);
    }
    return true;
}

} // namespace

AgentServer::AgentServer(const AgentConfig& config, AgentHooks& hooks) : m_config(config), m_hooks(hooks) {}

bool AgentServer::parseSessionUrl(const std::string& url, int& port, std::string& purpose)
{
    std::string rest;
    if (startsWith(url, "backup://127.0.0.1:"))
        rest = url.substr(19);
    else if (startsWith(url, "restore://127.0.0.1:"))
        rest = url.substr(20);
    else
        return false;
    const auto slash = rest.find('/');
    if (slash == std::string::npos)
        return false;
    const long long number = parseCount(rest.substr(0, slash));
    purpose = rest.substr(slash + 1);
    if (number < 1 || number > 65535)
        return false;
    port = int(number);
    return purpose == "device-info" || purpose == "download" || purpose == "upload";
}

bool AgentServer::listen(std::string& error)
{
    int port = 0;
    std::string address = m_hooks.wifiListenAddress();
    if (m_config.mode == AgentConfig::Mode::Session) {
        if (!parseSessionUrl(m_config.url, port, m_purpose)) {
            error = "bad session url " + m_config.url.substr(0, 200);
            return false;
        }
        address = "127.0.0.1";
    } else {
        port = m_config.controlPort;
    }
    m_listener = UniqueFd(bindListener(address, port, error));
    return m_listener.valid();
}

int AgentServer::listeningPort() const
{
    sockaddr_in where{};
    socklen_t size = sizeof where;
    if (getsockname(m_listener.get(), reinterpret_cast<sockaddr*>(&where), &size) != 0)
        return 0;
    return ntohs(where.sin_port);
}

int AgentServer::run()
{
    return m_config.mode == AgentConfig::Mode::Session ? runSession() : runWifi();
}

int AgentServer::runSession()
{
    std::unique_ptr<LineChannel> client = acceptClient(m_listener.get());
    // one client per session: whoever comes next finds nobody listening
    m_listener.reset();
    if (!client) {
        m_hooks.log("nobody came for " + m_config.url);
        return 0;
    }
    serve(*client, m_purpose);
    return 0;
}

bool AgentServer::secretMatches(const std::string& presented) const
{
    const std::string& secret = m_config.secret;
    // the same time for every wrong guess of the right length
    unsigned char difference = presented.size() == secret.size() ? 0 : 1;
    for (std::size_t i = 0; i < secret.size(); ++i)
        difference |= std::uint8_t(secret[i]) ^ std::uint8_t(i < presented.size() ? presented[i] : 0);
    return difference == 0;
}

std::unique_ptr<LineChannel> AgentServer::acceptClient(int listenFd)
{
    struct Pending
    {
        std::unique_ptr<LineChannel> channel;
        Clock::time_point since;
    };
    std::vector<Pending> pending;
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_config.idleMs);
    for (;;) {
        const auto now = Clock::now();
        if (now >= deadline)
            return nullptr;
        std::erase_if(
            pending, [&](const Pending& p) { return now - p.since > std::chrono::milliseconds(AuthWaitMs); });
        std::vector<pollfd> fds{{listenFd, POLLIN, 0}};
        for (const Pending& p : pending)
            fds.push_back({p.channel->fd(), POLLIN, 0});
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        if (poll(fds.data(), fds.size(), int(std::min<long long>(left, 200))) <= 0)
            continue;
        for (std::size_t i = fds.size(); i-- > 1;) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            LineChannel& channel = *pending[i - 1].channel;
            const auto line = channel.readLine(512);
            if (line && startsWith(*line, "$auth:") && secretMatches(line->substr(6))) {
                std::unique_ptr<LineChannel> client = std::move(pending[i - 1].channel);
                if (!client->writeLine("$auth:"))
                    return nullptr;
                client->setIdleMs(m_config.idleMs);
                return client;
            }
            m_hooks.log("refused a client without the session secret");
            channel.writeError(NotPaired);
            pending.erase(pending.begin() + std::ptrdiff_t(i - 1));
        }
        if (fds[0].revents & POLLIN) {
            const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            auto channel = std::make_unique<LineChannel>(fd, 1000);
            m_hooks.beforeAnswer();
            if (m_config.secret.empty()) {
                if (!channel->writeLine("$ready:"))
                    continue;
                channel->setIdleMs(m_config.idleMs);
                return channel;
            }
            if (channel->writeLine("$ready:auth"))
                pending.push_back({std::move(channel), Clock::now()});
        }
    }
}

int AgentServer::runWifi()
{
    // Only the paired desktop keeps the control port open (its heartbeat included):
    // anyone else on the network connecting now and then must not hold it for good.
    auto idleUntil = Clock::now() + std::chrono::milliseconds(m_config.idleMs);
    for (;;) {
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(idleUntil - Clock::now()).count();
        if (left <= 0)
            break;
        pollfd p{m_listener.get(), POLLIN, 0};
        const int r = poll(&p, 1, int(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            break;
        if (r == 0)
            continue;
        const int fd = accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        LineChannel request(fd, AuthWaitMs);
        struct Finish
        {
            LineChannel& channel;
            ~Finish() { channel.finish(); }
        } finish{request};
        const auto url = request.readLine(4096);
        if (!url)
            continue;
        bool paired = m_config.secret.empty();
        if (!paired) {
            const auto auth = request.readLine(512);
            paired = auth && startsWith(*auth, "$auth:") && secretMatches(auth->substr(6));
        }
        m_hooks.beforeAnswer();
        const auto refuse = [&](const std::string& why) { request.writeLine("0" + base64::encode(why)); };
        if (const auto refusal = m_hooks.refuseWifi()) {
            refuse(*refusal);
            continue;
        }
        if (!paired) {
            m_hooks.log("refused a WiFi request without the pairing secret");
            refuse(NotPaired);
            continue;
        }
        idleUntil = Clock::now() + std::chrono::milliseconds(m_config.idleMs);
        // The desktop's heartbeat while the phone is listed there: answered at once,
        // without a session.
        if (*url == PingRequest) {
            request.writeLine(PongAnswer);
            continue;
        }
        int port = 0;
        std::string purpose;
        if (!parseSessionUrl(*url, port, purpose)) {
            refuse("bad session url");
            continue;
        }
        std::string error;
        UniqueFd session(bindListener(m_hooks.wifiListenAddress(), port, error));
        if (!session.valid()) {
            refuse("port in use");
            continue;
        }
        // Each session is a process of its own, so the control port goes on answering
        // while earlier sessions still run.
        const pid_t pid = fork();
        if (pid == 0) {
            m_listener.reset();
            close(request.fd());
            std::unique_ptr<LineChannel> client = acceptClient(session.get());
            session.reset();
            if (client)
                serve(*client, purpose);
            _exit(0);
        }
        session.reset();
        request.writeLine(pid > 0 ? "1" : "0" + base64::encode("cannot start the session"));
    }
    return 0;
}

std::string AgentServer::localPath(const std::string& phonePath, PathCache* cache) const
{
    // With a cache, the phone folder the path lies in: its files come one after the other.
    const std::size_t lastSlash = cache ? phonePath.rfind('/') : std::string::npos;
    const std::string phoneFolder =
        lastSlash == std::string::npos ? std::string() : phonePath.substr(0, lastSlash);
    if (m_config.rootPrefix.empty()) {
        if (lastSlash == std::string::npos)
            return phonePath;
        const std::string name = phonePath.substr(lastSlash + 1);
        if (!name.empty() && name != "." && name != ".." &&
            !cache->mayHold(lastSlash == 0 ? "/" : phoneFolder, name))
            return {};
        return phonePath;
    }
    std::string local = m_config.rootPrefix;
    std::size_t start = 0;
    // a folder already walked in this request is not walked again
    if (lastSlash != std::string::npos) {
        if (const std::string* known = cache->localFolder(phoneFolder)) {
            local = *known;
            start = lastSlash + 1;
        }
    }
    while (start <= phonePath.size()) {
        std::size_t slash = phonePath.find('/', start);
        if (slash == std::string::npos)
            slash = phonePath.size();
        const std::string part = phonePath.substr(start, slash - start);
        start = slash + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == ".." || part.find('\\') != std::string::npos)
            return {};
        const bool folder = start <= phonePath.size();
        if (!folder && cache) {
            cache->rememberLocalFolder(phoneFolder, local);
            if (!cache->mayHold(local, part))
                return {};
        }
        local += '/' + part;
        if (folder && cache && cache->isCheckedFolder(local))
            continue;
        // a link inside the folder could point anywhere on the computer
        struct stat info
        {};
        if (lstat(local.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
            return {};
        if (folder && cache)
            cache->addCheckedFolder(local);
    }
    return local;
}

void AgentServer::serve(LineChannel& channel, const std::string& purpose)
{
    if (purpose == "device-info" && m_hooks.sendsHello()) {
        const auto own = m_hooks.description();
        if (!channel.writeLine("$hello:" + (own ? *own : PhoneProperties::description(m_config.rootPrefix))))
            return;
    }
    for (;;) {
        const auto raw = channel.readLine();
        if (!raw)
            return; // the client left, or stayed quiet for the idle time
        const std::string& line = *raw;
        const auto colon = line.find(':');
        const std::string command = colon == std::string::npos ? line : line.substr(0, colon + 1);
        const std::string body = colon == std::string::npos ? std::string() : line.substr(colon + 1);
        m_hooks.log("<< " + line.substr(0, 300));

        if (command == "$bye:")
            return;
        if (command == "$error:") {
            m_hooks.log("client error: " + base64::decode(body).substr(0, 300));
            continue;
        }
        if (command == "$block:") {
            // the rest of an upload this side already refused
            const long long n = parseCount(body);
            if (n < 0 || std::size_t(n) > MaxBlock)
                return;
            std::vector<char> skip(std::size_t(std::min<long long>(n, 1024 * 1024)));
            for (long long left = n; left > 0;) {
                const std::size_t step = std::size_t(std::min<long long>(left, (long long)skip.size()));
                if (!channel.readExact(skip.data(), step))
                    return;
                left -= (long long)step;
            }
            continue;
        }
        m_hooks.beforeAnswer();
        if (const auto error = m_hooks.errorForEveryRequest()) {
            if (!channel.writeError(*error))
                return;
            continue;
        }
        bool goOn = true;
        if (!m_hooks.knowsRequest(command)) {
            goOn = channel.writeError("unknown command " + line.substr(0, 200));
        } else if (command == "$sucmd:" || command == "$suout:") {
            goOn = handleRootCommand(channel, body, command == "$suout:");
        } else if (command == "$fstat:") {
            goOn = handleFileInfos(channel, body);
        } else if (command == "$finfo:" || command == "$flist:" || command == "$dload:" ||
                   command == "$file:") {
            if (const std::string refused = safeinput::checkPhonePath(body); !refused.empty()) {
                goOn = channel.writeError("refused path: " + refused);
            } else if (command == "$finfo:") {
                goOn = handleFileInfo(channel, body);
            } else if (command == "$flist:") {
                goOn = handleFolderListing(channel, body);
            } else if (command == "$dload:") {
                goOn = handleDownload(channel, body);
            } else {
                goOn = handleUpload(channel, body);
            }
        } else {
            goOn = channel.writeError("unknown command " + line.substr(0, 200));
        }
        if (!goOn)
            return;
    }
}

bool AgentServer::handleRootCommand(LineChannel& channel, const std::string& command, bool withOutput)
{
    if (const std::string refused = safeinput::checkRootCommand(command); !refused.empty()) {
        m_hooks.log("refused root command: " + refused);
        return channel.writeError("refused command: " + refused);
    }
    const std::size_t limit = withOutput ? MaxRootOutput : 0;
    AgentHooks::RootResult result;
    if (const auto simulated = m_hooks.runRootCommand(command, limit)) {
        result = *simulated;
    } else {
        const ProcessRunner::Result run = PhoneProperties::runRootCommand(command, limit);
        result.exitCode = run.exitCode;
        result.output = run.output;
    }
    m_hooks.log("su " + command.substr(0, 300) + " -> " + std::to_string(result.exitCode));
    if (result.dropConnection)
        return false;
    if (!withOutput)
        return channel.writeLine("$sucmd:" + std::to_string(result.exitCode));
    return channel.writeLine("$suout:" + std::to_string(result.exitCode) + ',' +
                             base64::encode(result.output.substr(0, MaxRootOutput)));
}

std::string AgentServer::fileFields(const std::string& phonePath, PathCache* cache) const
{
    const std::string local = m_hooks.mayAccess(phonePath) ? localPath(phonePath, cache) : std::string();
    struct stat info
    {};
    if (!local.empty() && stat(local.c_str(), &info) == 0) {
        if (S_ISREG(info.st_mode))
            return "file," + std::to_string(info.st_size);
        if (S_ISDIR(info.st_mode))
            return "dir";
    }
    return "none";
}

bool AgentServer::handleFileInfo(LineChannel& channel, const std::string& phonePath)
{
    return channel.writeLine("$finfo:" + fileFields(phonePath));
}

bool AgentServer::handleFileInfos(LineChannel& channel, const std::string& paths)
{
    std::string reply = "$fstat:";
    PathCache cache;
    std::size_t start = 0;
    for (bool first = true;; first = false) {
        const std::size_t end = paths.find('\0', start);
        const std::string path =
            paths.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!first)
            reply += '\t';
        // a path the checks refuse is not looked at, and reported as absent
        reply += safeinput::checkPhonePath(path).empty() ? fileFields(path, &cache) : "none";
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return channel.writeLine(reply);
}

bool AgentServer::handleFolderListing(LineChannel& channel, const std::string& phoneFolder)
{
    // What the agent may not look at, or reaches only through a link, holds no file it serves.
    const std::string local = m_hooks.mayAccess(phoneFolder) ? localPath(phoneFolder) : std::string();
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(local.empty() ? nullptr : opendir(local.c_str()), closedir);
    if (!dir) {
        if (local.empty() || errno == ENOENT || errno == ENOTDIR)
            return channel.writeLine("$flist:0");
        return channel.writeError("cannot list " + phoneFolder.substr(0, 300));
    }
    constexpr std::size_t Prefix = 6; // "$fent:"
    std::string line = "$fent:";
    std::size_t count = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (!entry)
            break;
        const std::string_view name = entry->d_name;
        // the phone's own file system is served as it is, links and all; below a root
        // prefix a link could point anywhere on the computer
        if (!isListedFile(dirfd(dir.get()), *entry, m_config.rootPrefix.empty()))
            continue;
        if (++count > PathCache::MaxNamesPerFolder)
            return channel.writeError("too many files in " + phoneFolder.substr(0, 300));
        if (line.size() > Prefix && line.size() + 1 + name.size() > MaxListingLine) {
            if (!channel.writeLine(line))
                return false;
            line.resize(Prefix);
        }
        if (line.size() > Prefix)
            line += '\0';
        line += name;
    }
    // a listing cut short would report files as missing that are there
    if (errno != 0)
        return channel.writeError("cannot list " + phoneFolder.substr(0, 300));
    if (line.size() > Prefix && !channel.writeLine(line))
        return false;
    return channel.writeLine("$flist:" + std::to_string(count));
}

bool AgentServer::handleDownload(LineChannel& channel, const std::string& phonePath)
{
    const std::string local = m_hooks.mayAccess(phonePath) ? localPath(phonePath) : std::string();
    UniqueFd file;
    struct stat info
    {};
    // a missing file, or one the agent may not read, is answered with an empty transfer
    if (!local.empty() && stat(local.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        file = UniqueFd(open(local.c_str(), O_RDONLY | O_CLOEXEC));
    const long long total = file.valid() ? (long long)info.st_size : 0;
    if (!channel.writeLine("$file:" + std::to_string(total)))
        return false;

    const std::size_t blockSize = std::clamp<std::size_t>(m_hooks.blockSize(), 1, MaxBlock);
    std::vector<char> block(file.valid() ? blockSize : 0);
    bool first = true;
    while (file.valid()) {
        ssize_t n = 0;
        do {
            n = read(file.get(), block.data(), block.size());
        } while (n < 0 && errno == EINTR);
        if (n <= 0)
            break;
        if (first) {
            if (const auto header = m_hooks.replaceFirstBlockHeader()) {
                channel.writeLine(*header);
                // the client is expected to refuse the header with an error line
                const auto reply = channel.readLine();
                m_hooks.log("after malformed header: " + (reply ? reply->substr(0, 300) : std::string()));
                return false;
            }
        }
        if (!channel.writeLine("$block:" + std::to_string(n)))
            return false;
        if (first && m_hooks.dropsMidBlock()) {
            channel.writeAll(block.data(), std::size_t(n) / 2);
            channel.abort();
            return false;
        }
        first = false;
        if (!channel.writeAll(block.data(), std::size_t(n)))
            return false;
        const auto ack = channel.readLine();
        if (!ack || *ack != ".")
            return false;
        m_hooks.beforeAnswer();
    }
    if (!channel.writeLine("."))
        return false;
    const auto done = channel.readLine();
    return done && startsWith(*done, "$file:");
}

bool AgentServer::handleUpload(LineChannel& channel, const std::string& phonePath)
{
    const std::string local = localPath(phonePath);
    if (local.empty() || !m_hooks.mayAccess(phonePath))
        return channel.writeError("open " + phonePath + " failed. Permission denied");
    makeParents(local);
    // The file takes its name only when complete, so a broken upload never leaves half
    // a file where the phone's apps would read it.
    const std::string partial = local + ".velliport-part";
    UniqueFd file(open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!file.valid())
        return channel.writeError("open " + phonePath + " failed. " + std::strerror(errno));
    const auto dropPartial = [&] {
        file.reset();
        unlink(partial.c_str());
    };

    std::vector<char> chunk;
    for (;;) {
        const auto raw = channel.readLine();
        if (!raw) {
            dropPartial();
            return false;
        }
        if (*raw == ".") {
            const bool written = fsync(file.get()) == 0 && close(file.release()) == 0 &&
                                 rename(partial.c_str(), local.c_str()) == 0;
            if (!written) {
                dropPartial();
                return channel.writeError("write " + phonePath + " failed.");
            }
            m_hooks.noteWrite(phonePath, "upload");
            return channel.writeLine("$file:");
        }
        if (startsWith(*raw, "$error:")) {
            m_hooks.log("upload aborted by client");
            dropPartial();
            return true;
        }
        if (!startsWith(*raw, "$block:")) {
            dropPartial();
            channel.writeError("invalid upload line");
            return false;
        }
        const long long n = parseCount(raw->substr(7));
        if (n < 0 || std::size_t(n) > MaxBlock) {
            dropPartial();
            channel.writeError("invalid block size");
            return false;
        }
        chunk.resize(std::size_t(n));
        if (m_hooks.dropsMidUpload(phonePath)) {
            // what arrived before the connection broke stays on the phone
            const std::size_t half = std::size_t(n) / 2;
            const bool got = channel.readExact(chunk.data(), half);
            dropPartial();
            UniqueFd target(open(local.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
            if (got && target.valid())
                writeFully(target.get(), chunk.data(), half);
            m_hooks.log("upload of " + phonePath + " dropped after " + std::to_string(half) + " bytes");
            channel.abort();
            return false;
        }
        if (!channel.readExact(chunk.data(), std::size_t(n))) {
            dropPartial();
            return false;
        }
        if (!writeFully(file.get(), chunk.data(), std::size_t(n))) {
            dropPartial();
            channel.writeError("write " + phonePath + " failed. " + std::strerror(errno));
            return false;
        }
        m_hooks.beforeAnswer();
        if (!channel.writeLine(".")) {
            dropPartial();
            return false;
        }
    }
}

} // namespace agent
