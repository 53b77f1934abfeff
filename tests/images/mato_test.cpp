// The mato container tests are in bmp_test.cpp, with those of the image formats they hold.
