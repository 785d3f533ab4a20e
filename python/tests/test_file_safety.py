"""The module against a user's own files: pickles of every protocol, tables written without
following planted links or taking a user's file, data files that are not text files refused by
name without hanging, and outputs that would replace one another refused before any run."""

import os
import pickle

import pytest

import kestrium


def test_every_pickle_protocol_gives_the_set_back():
    p = kestrium.Parameters()
    p.fluence = 123.0
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        assert pickle.loads(pickle.dumps(p, protocol)) == p, protocol


def test_a_table_is_saved_without_following_links_or_taking_a_users_file(tmp_path, defaults):
    table = kestrium.study(defaults, vary={"fluence": [-5, 60]}, jobs=1)
    victim = tmp_path / "victim.txt"
    victim.write_text("precious\n")
    os.symlink("victim.txt", tmp_path / f".study.csv.tmp{os.getpid()}")
    users = tmp_path / "study.csv.tmp"
    users.write_text("the user's own file\n")
    table.to_csv(tmp_path / "study.csv")
    assert (tmp_path / "study.csv").read_text() == table.table_text
    assert victim.read_text() == "precious\n"
    assert users.read_text() == "the user's own file\n"
    assert not [n for n in os.listdir(tmp_path) if ".kt-save-" in n]
    with pytest.raises(OSError, match=r'Cannot write "[^"]*missing/study.csv": '):
        table.to_csv(tmp_path / "missing" / "study.csv")


def test_data_files_that_are_not_text_files_are_refused_by_name(tmp_path, defaults):
    fifo = tmp_path / "fifo.csv"
    os.mkfifo(fifo)
    (tmp_path / "u16.csv").write_bytes("fluence_mJ_per_cm2,total_depth_nm\n".encode("utf-16"))
    cases = [(fifo, "is a pipe"), (tmp_path, "is a directory"), ("/dev/zero", "is a device"),
             (tmp_path / "u16.csv", "is UTF-16 text")]
    for path, message in cases:
        with pytest.raises(ValueError, match=message):
            kestrium.fit(defaults, path, analyse=True)


def test_a_sweep_table_may_not_replace_its_kinetics_file(tmp_path, defaults):
    kinetics = tmp_path / "Data1K.dat"
    kinetics.write_text("kept\n")
    with pytest.raises(ValueError, match="the same file"):
        kestrium.sweep(defaults, [60], output_dir=tmp_path, csv=kinetics)
    assert kinetics.read_text() == "kept\n"
