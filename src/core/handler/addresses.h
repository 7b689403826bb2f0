#pragma once

// The maker's addresses, shown or opened by the program. Kept in one place so a
// change of domain touches one line.
namespace quellomir::addresses {
inline constexpr const char* HomePage = "https://venmarro.example/";
inline constexpr const char* SupportEmail = "support@venmarro.example";
inline constexpr const char* ContactPage = "https://venmarro.example/contact";
} // namespace quellomir::addresses
