#!/usr/bin/perl
# Writes an encrypted picture container from an inner file, using Perl's cipher modules (independent of
# Lumenor's code). Usage:
#   make_cif.pl INNER EXT ALGORITHM PASSWORD CASEFLAG SALT10HEX CHECK16HEX RANDOM16HEX OUT
# ALGORITHM: 4 Blowfish, 5 Twofish, 6 CAST-128, 7 Rijndael.
use strict;
use warnings;
use Digest::SHA qw(sha1);
use Crypt::Blowfish;
use Crypt::Twofish;
use Crypt::CAST5;
use Crypt::Rijndael;

my ($inner, $ext, $alg, $password, $caseflag, $salt, $check, $rand, $out) = @ARGV;
$salt = pack('H*', $salt); $check = pack('H*', $check); $rand = pack('H*', $rand);
open(my $fh, '<:raw', $inner) or die; local $/; my $plain = <$fh>; close $fh;

my $keystr = $caseflag == 0 ? uc($password) : ($caseflag == 2 ? $password : '');
$keystr .= $salt;
my $digest = sha1($keystr);
my ($cipher, $bs);
if ($alg == 4) { $cipher = Crypt::Blowfish->new($digest); $bs = 8; }
elsif ($alg == 5) { $cipher = Crypt::Twofish->new($digest . ("\0" x 4)); $bs = 16; }
elsif ($alg == 6) { $cipher = Crypt::CAST5->new(substr($digest, 0, 16)); $bs = 8; }
elsif ($alg == 7) { $cipher = Crypt::Rijndael->new($digest . ("\0" x 4), Crypt::Rijndael::MODE_ECB()); $bs = 16; }
else { die "algorithm"; }

my $F = $check . ("\0" x ($bs - 8));
sub encrypt_call {
    my ($data) = @_;
    my $outp = '';
    my $n = length($data);
    my $full = $n - ($n % $bs);
    for (my $i = 0; $i < $full; $i += $bs) {
        my $c = $cipher->encrypt(substr($data, $i, $bs) ^ $F);
        $outp .= $c; $F = $c;
    }
    if ($n > $full) {
        my $rest = substr($data, $full);
        my $K = $cipher->encrypt($F);
        $outp .= $rest ^ substr($K, 0, length($rest));
        $F = $K ^ $F;
    }
    return $outp;
}
my $checkout = encrypt_call($check);
my $checkvalue = ord(substr($checkout, 0, 1)) + 256 * ord(substr($checkout, 1, 1));
my $cipherdata = '';
for (my $i = 0; $i < length($plain); $i += 4096) { $cipherdata .= encrypt_call(substr($plain, $i, 4096)); }

my $e = uc(substr($ext, 0, 4));
my $header = 'CPIX' . chr(20) . chr($alg) . chr($caseflag) . $salt . $check . pack('v', $checkvalue) . pack('V', 38) . ("\0" x 12);
my $block = 'CPIX00' . chr(length($e)) . $e . ("\0" x (4 - length($e))) . pack('V', length($plain)) . $rand;
open(my $o, '>:raw', $out) or die; print $o $header . $block . $cipherdata; close $o;
