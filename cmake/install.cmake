# Installs the manual page and the replicate runner; the program itself is
# installed to bin by sim/CMakeLists.txt.
install(FILES ${PROJECT_SOURCE_DIR}/man/pedsim.1 DESTINATION share/man/man1)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/pedsim-replicates DESTINATION bin)
