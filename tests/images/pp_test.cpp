// The PP image tests are in bmp_test.cpp, with those of the other formats and their BMP files.
