# kivofs.mk: drive images for a ROM that make builds. Set the variables, then include this
# file before your first rule; it leaves the default goal as it was.
#
#   KIVOFS_HOST   := game.gba          # the ROM your rules make
#   KIVOFS_OUTPUT := game_fs.gba       # the ROM with the drives
#   KIVOFS_DRIVE0 := assets            # a folder; KIVOFS_DRIVE1 optional
#   include /usr/share/kivofs/kivofs.mk
#   all: $(KIVOFS_OUTPUT)
#
# Optional: KIVOFS_DRIVE1, KIVOFS_DRIVE0_NAME and KIVOFS_DRIVE1_NAME (drive labels),
# KIVOFS_EXCLUDE (globs of names to leave out), KIVOFS_SAVEFLASH := 1, KIVOFS_NDS_HEADER := 1,
# KIVOFS_BUILD_DIR (where drive0.kid, drive1.kid and their dependency files go; build/kivofs),
# KIVOFS (the program; kivofs on the PATH).
# Sets KIVOFS_READER_SOURCES (the reader's .c files) and KIVOFS_READER_INCLUDE (its folder,
# for -I).
#
# An image is packed again exactly when a file or folder in its tree is changed, added or
# removed; when its bytes stay the same (a file the build ignores was added) the old image
# stays untouched and the ROM is not attached again. The entries carry SOURCE_DATE_EPOCH, or
# the time of the first build.

KIVOFS_KIT_DIR := $(patsubst %/,%,$(dir $(lastword $(MAKEFILE_LIST))))
KIVOFS_READER_INCLUDE := $(KIVOFS_KIT_DIR)/reader
KIVOFS_READER_SOURCES := $(KIVOFS_READER_INCLUDE)/kivofs_reader.c

KIVOFS ?= kivofs
KIVOFS_BUILD_DIR ?= build/kivofs
kivofs_saved_goal := $(.DEFAULT_GOAL)

ifeq ($(strip $(KIVOFS_HOST)),)
$(error kivofs.mk: set KIVOFS_HOST to the ROM your rules make, before the include)
endif
ifeq ($(strip $(KIVOFS_OUTPUT)),)
$(error kivofs.mk: set KIVOFS_OUTPUT to the ROM to write with the drives, before the include)
endif
ifeq ($(strip $(KIVOFS_DRIVE0)),)
$(error kivofs.mk: set KIVOFS_DRIVE0 to the folder of the first drive, before the include)
endif

# kivofs_pack,SLOT: the command that packs drive SLOT. Its dependency file names the stamp,
# which is touched on every run, and kivofs keeps an image whose bytes did not change. The
# entries carry one fixed instant, SOURCE_DATE_EPOCH or the time of the first build (kept in
# $(KIVOFS_BUILD_DIR)/date-epoch), so that the same tree gives the same bytes.
# ($$$$: the text passes through $(call) and then the recipe's own expansion.)
kivofs_epoch = $$$${SOURCE_DATE_EPOCH:-$$$$(cat $(KIVOFS_BUILD_DIR)/date-epoch 2>/dev/null || \
  date +%s | tee $(KIVOFS_BUILD_DIR)/date-epoch)}
kivofs_pack = $(strip SOURCE_DATE_EPOCH=$(kivofs_epoch) $(KIVOFS) build $(KIVOFS_DRIVE$(1)) -o $(KIVOFS_BUILD_DIR)/drive$(1).kid \
  --quiet $(if $(KIVOFS_DRIVE$(1)_NAME),--name '$(KIVOFS_DRIVE$(1)_NAME)') \
  $(foreach glob,$(KIVOFS_EXCLUDE),--exclude '$(glob)') \
  --depfile $(KIVOFS_BUILD_DIR)/drive$(1).d --depfile-target $(KIVOFS_BUILD_DIR)/drive$(1).stamp \
  --depfile-links $(KIVOFS_BUILD_DIR)/drive$(1).links)

define kivofs_drive_rules
$(KIVOFS_BUILD_DIR)/drive$(1).stamp:
	@mkdir -p $(KIVOFS_BUILD_DIR)
	$(call kivofs_pack,$(1))
	@touch $$@

# An image removed by hand is made again; otherwise it is what the stamp's run left.
$(KIVOFS_BUILD_DIR)/drive$(1).kid: $(KIVOFS_BUILD_DIR)/drive$(1).stamp
	@test -f $$@ || $(call kivofs_pack,$(1))

-include $(KIVOFS_BUILD_DIR)/drive$(1).d
endef

kivofs_slots := 0 $(if $(KIVOFS_DRIVE1),1)
$(foreach slot,$(kivofs_slots),$(eval $(call kivofs_drive_rules,$(slot))))

kivofs_images := $(foreach slot,$(kivofs_slots),$(KIVOFS_BUILD_DIR)/drive$(slot).kid)
kivofs_attach_options := $(strip $(foreach slot,$(kivofs_slots),--drive$(slot) \
  $(KIVOFS_BUILD_DIR)/drive$(slot).kid) $(if $(KIVOFS_SAVEFLASH),--saveflash) \
  $(if $(KIVOFS_NDS_HEADER),--nds-header))

# kivofs leaves a ROM that would get the same bytes (a host linked again unchanged) untouched;
# the stamp keeps make from running the attach again for it.
$(KIVOFS_BUILD_DIR)/attach.stamp: $(KIVOFS_HOST) $(kivofs_images)
	@mkdir -p $(KIVOFS_BUILD_DIR)
	$(KIVOFS) attach $(KIVOFS_HOST) -o $(KIVOFS_OUTPUT) $(kivofs_attach_options)
	@touch $@

$(KIVOFS_OUTPUT): $(KIVOFS_BUILD_DIR)/attach.stamp
	@test -f $@ || $(KIVOFS) attach $(KIVOFS_HOST) -o $@ $(kivofs_attach_options)

.DEFAULT_GOAL := $(kivofs_saved_goal)
