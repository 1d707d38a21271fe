// The fake LibreOffice of the benchmark: returns at once, so that only the start is measured.
int main() {
  return 0;
}
