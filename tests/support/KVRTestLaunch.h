#pragma once
// What the room tests share: a launch URL into the development server's "Math" room of lecturer lect1,
// and reading a child's output file.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kvrtest {
inline std::string launchUrl(uint16_t mainPort, uint16_t relayPort, const std::string& uid, int role,
                             const std::string& extra = {}) {
    return "kelvara://launch?UpdaterKey=&ServerIP=127.0.0.1&MainServerPort=" + std::to_string(mainPort) +
           "&FileServerPort=" + std::to_string(relayPort) + "&UserID=" + uid + "&name=" + uid +
           "&TeacherID=lect1&roomname=Math&maxuser=50&IsTeacher=" + std::to_string(role) +
           "&CourseIDKey=MATH101&RoomType=1" + extra;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
}  // namespace kvrtest
