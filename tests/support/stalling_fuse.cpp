// A FUSE file system whose reads never answer until told, as a cloud folder that is still fetching a
// file does: `stalling_fuse MOUNTPOINT FILE` mounts a folder holding the one file FILE.ics (its
// content read from FILE) on MOUNTPOINT. Looking up, listing and opening answer at once; a read is
// held, and "read" is printed when one arrives. A line on standard input answers the reads held and
// every later one; the end of standard input does so too, then unmounts and exits.
//
// The reads bypass the page cache (direct I/O), so the reading thread waits in the kernel for the
// answer itself, where not even a kill frees it, as with the mounts that fetch on demand.
//
// Mounts through mount(2) when the process may, else through fusermount3; prints "mounted" once the
// folder can be used, or why not on standard error with exit status 2.
#include <linux/fuse.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uint64_t folderNode = FUSE_ROOT_ID;
constexpr uint64_t fileNode = 2;

int device = -1;
std::string fileName;
std::string content;
std::mutex mutex;
std::vector<std::pair<fuse_in_header, fuse_read_in>> held; // reads waiting for the answer
bool answering = false;

void reply(const fuse_in_header& in, int error, const void* data = nullptr, size_t size = 0) {
    fuse_out_header out{};
    out.len = uint32_t(sizeof out + size);
    out.error = -error;
    out.unique = in.unique;
    iovec parts[2] = {{&out, sizeof out}, {const_cast<void*>(data), size}};
    if (::writev(device, parts, size ? 2 : 1) < 0 && errno != ENOENT) // ENOENT: the caller went away
        std::perror("stalling_fuse: reply");
}

fuse_attr attributes(uint64_t node) {
    fuse_attr attr{};
    attr.ino = node;
    attr.mode = node == folderNode ? (S_IFDIR | 0755) : (S_IFREG | 0644);
    attr.nlink = node == folderNode ? 2 : 1;
    attr.size = node == folderNode ? 0 : content.size();
    attr.uid = ::getuid();
    attr.gid = ::getgid();
    return attr;
}

void answerRead(const fuse_in_header& in, const fuse_read_in& read) {
    const size_t from = std::min<size_t>(read.offset, content.size());
    reply(in, 0, content.data() + from, std::min<size_t>(read.size, content.size() - from));
}

void listFolder(const fuse_in_header& in, const fuse_read_in& read) {
    std::vector<char> out;
    const std::pair<const char*, uint64_t> entries[] = {
        {".", folderNode}, {"..", folderNode}, {fileName.c_str(), fileNode}};
    for (uint64_t i = read.offset; i < 3; ++i) {
        const size_t nameLength = std::strlen(entries[i].first);
        const size_t size = FUSE_DIRENT_ALIGN(FUSE_NAME_OFFSET + nameLength);
        if (out.size() + size > read.size)
            break;
        std::vector<char> entry(size, 0);
        auto* dirent = reinterpret_cast<fuse_dirent*>(entry.data());
        dirent->ino = entries[i].second;
        dirent->off = i + 1;
        dirent->namelen = uint32_t(nameLength);
        dirent->type = entries[i].second == folderNode ? DT_DIR : DT_REG;
        std::memcpy(dirent->name, entries[i].first, nameLength);
        out.insert(out.end(), entry.begin(), entry.end());
    }
    reply(in, 0, out.data(), out.size());
}

void serve(const fuse_in_header& in, const char* arg) {
    switch (in.opcode) {
    case FUSE_INIT: {
        fuse_init_out init{};
        init.major = FUSE_KERNEL_VERSION;
        init.minor = FUSE_KERNEL_MINOR_VERSION;
        init.max_write = 4096;
        init.max_background = 16;
        init.congestion_threshold = 12;
        init.time_gran = 1;
        reply(in, 0, &init, sizeof init);
        return;
    }
    case FUSE_LOOKUP: {
        if (in.nodeid != folderNode || fileName != arg)
            return reply(in, ENOENT);
        fuse_entry_out entry{};
        entry.nodeid = fileNode;
        entry.attr = attributes(fileNode);
        return reply(in, 0, &entry, sizeof entry);
    }
    case FUSE_GETATTR: {
        fuse_attr_out out{};
        out.attr = attributes(in.nodeid);
        return reply(in, 0, &out, sizeof out);
    }
    case FUSE_OPENDIR:
    case FUSE_OPEN: {
        fuse_open_out out{};
        out.open_flags = in.opcode == FUSE_OPEN ? FOPEN_DIRECT_IO : 0;
        return reply(in, 0, &out, sizeof out);
    }
    case FUSE_READDIR:
        return listFolder(in, *reinterpret_cast<const fuse_read_in*>(arg));
    case FUSE_READ: {
        const std::lock_guard lock(mutex);
        if (answering)
            return answerRead(in, *reinterpret_cast<const fuse_read_in*>(arg));
        held.emplace_back(in, *reinterpret_cast<const fuse_read_in*>(arg));
        std::printf("read\n");
        std::fflush(stdout);
        return;
    }
    case FUSE_FORGET:
    case FUSE_BATCH_FORGET:
    case FUSE_INTERRUPT: // a held read stays held, as on a mount that does not handle interrupts
        return;
    default: // the kernel goes on without what a file system does not do (flush, release, access)
        return reply(in, ENOSYS);
    }
}

void answerHeld() {
    const std::lock_guard lock(mutex);
    answering = true;
    for (const auto& [in, read] : held)
        answerRead(in, read);
    held.clear();
}

// The /dev/fuse descriptor of a mount made by fusermount3, which sends it back over a socket.
int mountThroughFusermount(const char* mountpoint, const std::string& options) {
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(sockets[0]);
        const std::string fd = std::to_string(sockets[1]);
        ::setenv("_FUSE_COMMFD", fd.c_str(), 1);
        ::execlp("fusermount3", "fusermount3", "-o", options.c_str(), "--", mountpoint, nullptr);
        std::_Exit(127);
    }
    ::close(sockets[1]);
    char byte;
    iovec part{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    int fd = -1;
    if (::recvmsg(sockets[0], &message, 0) > 0) {
        const cmsghdr* header = CMSG_FIRSTHDR(&message);
        if (header && header->cmsg_type == SCM_RIGHTS)
            std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
    }
    ::close(sockets[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return fd;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: stalling_fuse MOUNTPOINT FILE\n");
        return 2;
    }
    const char* mountpoint = argv[1];
    fileName = std::string(std::strrchr(argv[2], '/') ? std::strrchr(argv[2], '/') + 1 : argv[2]);
    if (FILE* source = std::fopen(argv[2], "rb")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, source)) > 0;)
            content.append(buffer, n);
        std::fclose(source);
    }

    device = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    const std::string options =
        "rootmode=40000,user_id=" + std::to_string(::getuid()) + ",group_id=" + std::to_string(::getgid());
    const std::string withDevice = "fd=" + std::to_string(device) + "," + options;
    if (device < 0 || ::mount("stalling_fuse", mountpoint, "fuse.stalling_fuse", MS_NOSUID | MS_NODEV,
                              withDevice.c_str()) != 0) {
        if (device >= 0)
            ::close(device);
        device = mountThroughFusermount(mountpoint, "fsname=stalling_fuse,subtype=stalling_fuse");
    }
    if (device < 0) {
        std::fprintf(stderr, "stalling_fuse: cannot mount a FUSE file system here: %s\n",
                     std::strerror(errno));
        return 2;
    }

    std::thread([] {
        std::vector<char> buffer(FUSE_MIN_READ_BUFFER + 64 * 1024);
        for (;;) {
            const ssize_t n = ::read(device, buffer.data(), buffer.size());
            if (n < 0 && (errno == EINTR || errno == ENOENT))
                continue;
            if (n < ssize_t(sizeof(fuse_in_header)))
                return; // unmounted
            const auto* in = reinterpret_cast<const fuse_in_header*>(buffer.data());
            serve(*in, buffer.data() + sizeof *in);
        }
    }).detach();
    std::printf("mounted\n");
    std::fflush(stdout);

    // Each line answers what is held; the end of the input does so too, and ends the mount.
    for (int c; (c = std::getchar()) != EOF;) {
        if (c == '\n')
            answerHeld();
    }
    answerHeld();
    if (::umount2(mountpoint, MNT_DETACH) != 0) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::execlp("fusermount3", "fusermount3", "-u", "-z", "--", mountpoint, nullptr);
            std::_Exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
    }
    return 0;
}
