// Pictures for the encoder, safe-writing and export tests: deterministic, with what a painted
// picture has (smooth colour, fine grain, hard coloured edges), and helpers to read files back.
#pragma once
#include <string>
#include <vector>

// width * height * channels bytes, rows top to bottom. With 4 channels the fourth byte is
// noise, so a test sees whether an encoder wrongly uses it.
std::vector<unsigned char> MakeTestPicture(int width, int height, int channels, unsigned seed);

// The RGB bytes of a picture of 3 or 4 channels.
std::vector<unsigned char> RgbOf(const std::vector<unsigned char>& pixels, int channels);

// Decodes a PNG or JPEG with stb_image (a decoder independent of libpng and libjpeg) to RGB.
bool DecodeWithStb(const std::vector<unsigned char>& file, std::vector<unsigned char>* rgb, int* width, int* height);

std::vector<unsigned char> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes);

// Peak signal-to-noise ratio in dB of b against a (same size), and the largest difference.
double Psnr(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b);
int MaxDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b);
