# Installs the manual pages, the example parameter files and the scripts; the
# programs themselves are installed to bin by sim/ and stats/.
install(FILES ${PROJECT_SOURCE_DIR}/man/pedsim.1 ${PROJECT_SOURCE_DIR}/man/pedsim-replicates.1
        DESTINATION share/man/man1)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/pedsim-replicates DESTINATION bin)
install(FILES ${PROJECT_SOURCE_DIR}/examples/small.parpop ${PROJECT_SOURCE_DIR}/examples/flock.parpop
              ${PROJECT_SOURCE_DIR}/examples/largest.parpop ${PROJECT_SOURCE_DIR}/examples/README.md
        DESTINATION share/pedsim/examples)
# The statistics program's manual page, and its plotting script with its own.
install(FILES ${PROJECT_SOURCE_DIR}/man/pedsim-stats.1 ${PROJECT_SOURCE_DIR}/man/pedsim-plot.1
        DESTINATION share/man/man1)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/pedsim-plot DESTINATION bin)
# The trait simulation's manual page and its example model.
install(FILES ${PROJECT_SOURCE_DIR}/man/pedsim-traits.1 DESTINATION share/man/man1)
install(FILES ${PROJECT_SOURCE_DIR}/examples/flock.traits.toml DESTINATION share/pedsim/examples)
# The breeding program's manual page and its example programs.
install(FILES ${PROJECT_SOURCE_DIR}/man/pedsim-breed.1 DESTINATION share/man/man1)
install(FILES ${PROJECT_SOURCE_DIR}/examples/dairy.breed.toml
              ${PROJECT_SOURCE_DIR}/examples/mass.breed.toml
        DESTINATION share/pedsim/examples)
