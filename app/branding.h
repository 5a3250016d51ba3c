#pragma once

// The maker's texts shown in the status bar and the log window's welcome.
namespace branding {
inline constexpr const char *kSupportEmail = "support@tavrin.example.com";
inline constexpr const char *kWebAddress = "https://www.tavrin.example.com";
inline constexpr const char *kWelcomeLine = "欢迎使用Tavrin远程设备测试工具";
} // namespace branding
