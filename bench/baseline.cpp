#include "baseline.h"

#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Baseline {

const std::string &missingText()
{
    static const std::string text = "文件不存在！！";
    return text;
}

namespace {

void appendFile(std::string &out, const char *path)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        out += missingText();
        return;
    }
    char buffer[64 * 1024];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        out.append(buffer, size_t(got));
    ::close(fd);
}

std::string head(const std::string &folder, const std::string &server)
{
    return folder + "/squidclient -h " + server + " -p 80";
}

} // namespace

std::string purge(const std::string &folder, const std::string &server, const std::string &urls)
{
    std::ofstream script(folder + "/test.bat", std::ios::binary | std::ios::trunc);
    const std::string start = head(folder, server) + " -m purge ";
    const std::string resultStart = folder + "/nslookup";
    std::string shown;
    std::string path;
    std::string::size_type pos = 0;
    long line = 0;
    while (pos <= urls.size()) {
        std::string::size_type end = urls.find("\r\n", pos);
        if (end == std::string::npos)
            end = urls.size();
        if (end > pos) {
            path.assign(resultStart).append(std::to_string(line)).append(".txt");
            script << start;
            script.write(urls.data() + pos, std::streamsize(end - pos));
            script << " > \"" << path << "\" 2>&1\r\n";
            appendFile(shown, path.c_str());
        }
        pos = end + 2;
        ++line;
    }
    script.close();
    return shown;
}

std::string statusQuery(const std::string &folder, const std::string &server, const std::string &request)
{
    const std::string result = folder + "/info.txt ";
    {
        std::ofstream script(folder + "/info.bat", std::ios::binary | std::ios::trunc);
        script << head(folder, server) << ' ' << request << " > \"" << result << "\" 2>&1\r\n";
    }
    return readFile(result);
}

std::string readFile(const std::string &path)
{
    std::string out;
    // One large file: size the text once instead of letting it grow.
    struct stat info;
    if (::stat(path.c_str(), &info) == 0)
        out.reserve(size_t(info.st_size));
    appendFile(out, path.c_str());
    return out;
}

} // namespace Baseline
