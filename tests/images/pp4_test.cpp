// The pp (16-colour) image tests are in bmp_test.cpp, with those of the other formats and their BMP files.
