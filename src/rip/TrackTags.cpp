#include "rip/TrackTags.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

namespace qm {

namespace {

TagLib::String Text(const QString& text)
{
    return TagLib::String(text.toStdString(), TagLib::String::UTF8);
}

// The names are TagLib's own: for ID3v2 it maps them to TPE2, TDRC, and the
// MusicBrainz TXXX and UFID frames; Vorbis comments take them as they are.
TagLib::PropertyMap Properties(const TrackTags& tags)
{
    TagLib::PropertyMap map;
    const auto put = [&map](const char* key, const QString& value) {
        if (!value.isEmpty())
            map.replace(key, TagLib::StringList(Text(value)));
    };
    put("TITLE", tags.title);
    put("ARTIST", tags.artist);
    put("ALBUMARTIST", tags.albumArtist);
    put("ALBUM", tags.album);
    put("DATE", tags.year);
    put("GENRE", tags.genre);
    put("MUSICBRAINZ_ALBUMID", tags.releaseId);
    put("MUSICBRAINZ_ARTISTID", tags.artistId);
    put("MUSICBRAINZ_TRACKID", tags.recordingId);
    put("MUSICBRAINZ_DISCID", tags.discId);
    return map;
}

// The cover's type from its first bytes; "" for anything a player could not
// show, which is then left out.
QString CoverMimeType(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return QStringLiteral("image/jpeg");
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return QStringLiteral("image/png");
    return {};
}

TagLib::ByteVector Bytes(const QByteArray& bytes)
{
    return TagLib::ByteVector(bytes.constData(), static_cast<unsigned int>(bytes.size()));
}

bool Fail(QString* why, const QString& reason)
{
    if (why)
        *why = reason;
    return false;
}

bool WriteMp3(TagLib::IOStream* stream, const TrackTags& tags, QString* why)
{
    TagLib::MPEG::File file(stream, TagLib::ID3v2::FrameFactory::instance());
    // TagLib finds a frame sync in almost any bytes; an encoder's file has
    // its audio first, or right after an ID3v2 tag.
    const long audioStart = file.hasID3v2Tag() ? long(file.ID3v2Tag()->header()->completeTagSize()) : 0;
    if (!file.isValid() || file.firstFrameOffset() != audioStart)
        return Fail(why, QStringLiteral("the file could not be read as MP3"));
    TagLib::PropertyMap map = Properties(tags);
    if (tags.number > 0) {
        const QString track = tags.total > 0 ? QStringLiteral("%1/%2").arg(tags.number).arg(tags.total)
                                             : QString::number(tags.number);
        map.replace("TRACKNUMBER", TagLib::StringList(Text(track)));
    }
    // The MusicBrainz IDs as other taggers and players name them (TagLib
    // would write the descriptions in capitals, and has none for the disc).
    const std::pair<const char*, const QString*> ids[] = {{"MusicBrainz Album Id", &tags.releaseId},
                                                          {"MusicBrainz Artist Id", &tags.artistId},
                                                          {"MusicBrainz Disc Id", &tags.discId}};
    for (const char* key : {"MUSICBRAINZ_ALBUMID", "MUSICBRAINZ_ARTISTID", "MUSICBRAINZ_DISCID"})
        map.erase(key);
    TagLib::ID3v2::Tag* id3 = file.ID3v2Tag(true);
    id3->setProperties(map);
    id3->removeFrames("APIC");
    for (const auto& [description, value] : ids) {
        if (!value->isEmpty())
            id3->addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(description, TagLib::StringList(Text(*value)),
                                                                        TagLib::String::UTF8));
    }
    // TagLib writes Latin-1 where the text allows it; players expect UTF-8 in ID3v2.4.
    for (TagLib::ID3v2::Frame* frame : id3->frameList()) {
        if (auto* text = dynamic_cast<TagLib::ID3v2::TextIdentificationFrame*>(frame))
            text->setTextEncoding(TagLib::String::UTF8);
    }
    const QString mime = CoverMimeType(tags.cover);
    if (!mime.isEmpty()) {
        auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
        picture->setTextEncoding(TagLib::String::UTF8);
        picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        picture->setMimeType(Text(mime));
        picture->setPicture(Bytes(tags.cover));
        id3->addFrame(picture);
    }
    // Only ID3v2.4: an ID3v1 or APE tag would carry stale or cut texts.
    if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v4,
                   TagLib::File::DoNotDuplicate))
        return Fail(why, QStringLiteral("the tags could not be saved"));
    return true;
}

// Vorbis comments, as OGG, Opus and FLAC carry them.
void FillXiph(TagLib::Ogg::XiphComment* comment, const TrackTags& tags)
{
    TagLib::PropertyMap map = Properties(tags);
    if (tags.number > 0)
        map.replace("TRACKNUMBER", TagLib::StringList(Text(QString::number(tags.number))));
    if (tags.total > 0)
        map.replace("TRACKTOTAL", TagLib::StringList(Text(QString::number(tags.total))));
    comment->setProperties(map);
}

TagLib::FLAC::Picture* FrontCover(const QByteArray& bytes)
{
    const QString mime = CoverMimeType(bytes);
    if (mime.isEmpty())
        return nullptr;
    auto* picture = new TagLib::FLAC::Picture;
    picture->setType(TagLib::FLAC::Picture::FrontCover);
    picture->setMimeType(Text(mime));
    picture->setData(Bytes(bytes));
    return picture;
}

// OGG and Opus: the comment header holds the pictures too.
template <typename OggFile>
bool WriteOggFile(TagLib::IOStream* stream, const QString& format, const TrackTags& tags, QString* why)
{
    OggFile file(stream);
    if (!file.isValid())
        return Fail(why, QStringLiteral("the file could not be read as %1").arg(format));
    TagLib::Ogg::XiphComment* comment = file.tag();
    FillXiph(comment, tags);
    comment->removeAllPictures();
    if (auto* picture = FrontCover(tags.cover))
        comment->addPicture(picture);
    if (!file.save())
        return Fail(why, QStringLiteral("the tags could not be saved"));
    return true;
}

// FLAC: the pictures are metadata blocks of their own.
bool WriteFlac(TagLib::IOStream* stream, const TrackTags& tags, QString* why)
{
    TagLib::FLAC::File file(stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isValid())
        return Fail(why, QStringLiteral("the file could not be read as FLAC"));
    FillXiph(file.xiphComment(true), tags);
    file.removePictures();
    if (auto* picture = FrontCover(tags.cover))
        file.addPicture(picture);
    if (!file.save())
        return Fail(why, QStringLiteral("the tags could not be saved"));
    return true;
}

} // namespace

bool WriteTags(const QString& path, TagFormat format, const TrackTags& tags, QString* why)
{
    // TagLib grows a file in place and does not hear of a write that failed:
    // on a full disk the file would lose its end and still be called tagged.
    // So it tags a copy in memory, which is written back here, every write
    // checked. By the format asked for, not the name: the file is still the
    // encoder's temporary "….part".
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return Fail(why, file.errorString());
    TagLib::ByteVectorStream stream(Bytes(file.readAll())); // one copy held, not two
    if (file.error() != QFileDevice::NoError)
        return Fail(why, file.errorString());
    bool tagged = false;
    switch (format) {
    case TagFormat::Mp3: tagged = WriteMp3(&stream, tags, why); break;
    case TagFormat::Ogg: tagged = WriteOggFile<TagLib::Ogg::Vorbis::File>(&stream, QStringLiteral("OGG"), tags, why); break;
    case TagFormat::Opus: tagged = WriteOggFile<TagLib::Ogg::Opus::File>(&stream, QStringLiteral("Opus"), tags, why); break;
    case TagFormat::Flac: tagged = WriteFlac(&stream, tags, why); break;
    }
    if (!tagged)
        return false;
    const TagLib::ByteVector& out = *stream.data();
    for (off_t at = 0; at < off_t(out.size());) {
        const ssize_t wrote = ::pwrite(file.handle(), out.data() + at, std::size_t(off_t(out.size()) - at), at);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return Fail(why, wrote < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString());
        at += wrote;
    }
    if (::ftruncate(file.handle(), off_t(out.size())) != 0)
        return Fail(why, QString::fromLocal8Bit(std::strerror(errno)));
    return true;
}

} // namespace qm
