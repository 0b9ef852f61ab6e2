/* A stand-in for one of the suite's programs: it only carries a version resource (or none) and
   ends at once with exit code 0. */
int main(void) { return 0; }
