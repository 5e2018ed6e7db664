# Writes the question bank as a C++ string: cmake -DIN=questions.txt -DOUT=bank_text.cpp -P embed.cmake
file(READ ${IN} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," chars "${hex}")
file(WRITE ${OUT} "#include <string>\nstd::string BuiltInBank() {\n  static const char text[] = {${chars} 0};\n  return std::string(text, sizeof text - 1);\n}\n")
