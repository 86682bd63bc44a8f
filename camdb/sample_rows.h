#pragma once

namespace korvel {

/// The two rows appended to every copy of the text before it is parsed, so
/// every database carries them.
inline constexpr char kSampleRow1[] = "126.950100\t37.389400\t5\t80\t0\t247\n";
inline constexpr char kSampleRow2[] = "126.980700\t37.416300\t1\t70\t1\t15\n";

}  // namespace korvel
